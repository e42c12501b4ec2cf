// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ftp/ftp.h"

namespace zn {

// The further connections of a fast walk: logged-on clients of the same
// server with the first one's settings (server, user, password, time-out,
// passive mode, proxy), opened one after another until there are `count`
// connections in all. When the first is in TLS each further one must be
// too, with the same certificate; when it is not, none is. Any failure to open
// one ends the opening, not the walk: a server that refuses one more
// connection says so with "421" or with a "530" about too many, and the
// walk goes on with those it took.
//
// Each client is in `helpers` while it connects, so that a Cancel reaches
// it; `prepare` sees each before it connects (to show its dialogue, tagged
// with its number, from 2), and `failed` any failure other than a refusal
// for their number. A Cancel while one logs on ends the opening with
// ECanceledError: it was meant for the walk.
void OpenHelperClients(platform::TComponent& owner, const TznFTP& first, int count, std::vector<TznFTP*>& helpers,
                       const std::function<void(TznFTP& helper, int number)>& prepare,
                       const std::function<void(int number, const std::string& message)>& failed);

// QUIT on every connection after a complete walk, all sent before any
// reply is read, so the ending waits one time-out at most; after a
// failure, only the close.
void EndWalkSessions(const std::vector<TznFTP*>& clients, bool aborted);

}  // namespace zn
