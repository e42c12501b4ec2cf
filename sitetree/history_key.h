// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "net/core/server_key.h"

namespace zn {

// Which site a kept walk is of: the user who logged on, the server in the
// one spelling a socket reaches it by, and the start directory as the
// server names it (its PWD), and the way in. Two users of one host, each
// in a home of their own, are two sites; "pub" below the login directory
// and the absolute "/pub" are one only where they are the same directory;
// a host's FTP and SFTP servers are two, since each may show its own tree
// (an SFTP user is often shut in a folder of the FTP one).
struct SiteKey {
    std::string User;    // "anonymous" where none was given
    std::string Server;  // "host[:port]", as typed
    std::string Start;   // the server's PWD; where it gave none, the path as typed, made absolute
    UrlScheme Scheme = UrlScheme::Ftp;
};

// HISTORY/<user>@<server>/<start>, each part one folder name; for ftps://
// and sftp:// sites the scheme comes first, "sftp:<user>@<server>", and
// the server's port is left out where it is the scheme's own. A plain FTP
// site's folder is named as before schemes were told apart, so that its
// walks stay where they are.
std::string SiteHistoryFolder(const std::string& root, const SiteKey& site);

// Walks of an ftps:// or sftp:// site kept before the scheme joined the
// key, in the folder of the same key without it (HISTORY/<user>@<server>,
// where a plain FTP site's walks lie too), before the first walk kept
// under the new one: those whose export says they came this way and from
// this user are moved to the site's folder. ftps:// takes "ftp://" too,
// which the command line wrote for implicit TLS: one port speaks either
// implicit TLS or plain FTP, so a walk to it was this way in. The rest are
// the FTP site's and stay.
void AdoptWalksWithoutScheme(const std::string& root, const SiteKey& site);

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
