// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace zn {

// Which site a kept walk is of: the user who logged on, the server in the
// one spelling a socket reaches it by, and the start directory as the
// server names it (its PWD). Two users of one host, each in a home of
// their own, are two sites; "pub" below the login directory and the
// absolute "/pub" are one only where they are the same directory.
struct SiteKey {
    std::string User;    // "anonymous" where none was given
    std::string Server;  // "host[:port]", as typed
    std::string Start;   // the server's PWD; where it gave none, the path as typed, made absolute
};

// HISTORY/<user>@<server>/<start>, each part one folder name.
std::string SiteHistoryFolder(const std::string& root, const SiteKey& site);

// The folder walks were kept in before the user and the server's own name
// of the start joined the key: HISTORY/<host>/<start path as typed>.
std::string OldSiteHistoryFolder(const std::string& root, const std::string& host, const std::string& typedStart);

// Walks kept under the old key, before the first walk kept under the new
// one: those whose export names this user and this start directory
// ("ftp://alice@host/pub", the path as typed then) are moved to the new
// folder, and are this site's from then on; the rest are left where they
// are, since they may be another user's or another start's. Returns one
// line saying so when any are left, for the caller to show; else "".
std::string AdoptOldWalks(const std::string& oldFolder, const std::string& newFolder, const SiteKey& site);

}  // namespace zn
