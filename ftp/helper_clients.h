// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ftp/ftp.h"

namespace zn {

// One further connection of a fast walk, asked for each time the walk finds
// one more would pay: a logged-on client of the same server with the first
// one's settings (server, user, password, time-out, passive mode, proxy),
// numbered from 2 and added to `helpers`, or none (nullptr) once there are
// `count` connections in all or the first has closed. When the first is in
// TLS each further one must be too, with the same certificate; when it is
// not, none is. A failure to open one gives none, and the walk asks no
// more: a server that refuses one more connection says so with "421" or
// with a "530" about too many, and the walk goes on with those it took.
//
// The client is in `helpers` while it connects, so that a Cancel reaches
// it; `prepare` sees it before it connects (to show its dialogue, tagged
// with its number), and `failed` any failure other than a refusal for
// their number. A Cancel while it logs on raises ECanceledError: it was
// meant for the walk.
TznFTP* OpenHelperClient(platform::TComponent& owner, const TznFTP& first, int count, std::vector<TznFTP*>& helpers,
                         const std::function<void(TznFTP& helper, int number)>& prepare,
                         const std::function<void(int number, const std::string& message)>& failed);

// QUIT on every connection after a complete walk, all sent before any
// reply is read, so the ending waits one time-out at most; after a
// failure, only the close.
void EndWalkSessions(const std::vector<TznFTP*>& clients, bool aborted);

}  // namespace zn
