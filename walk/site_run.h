// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ftp/client/ftp.h"
#include "ftp/client/tls_memory.h"
#include "net/core/server_key.h"
#include "walk/walk_session.h"

namespace zn {

// Where a run goes: the server as the user gave it, which way in, and the
// directory to start from ("" for the login directory).
struct SiteAddress {
    std::string Server;
    UrlScheme Scheme = UrlScheme::Ftp;
    std::string StartDir;
};

// The space left after a walk, or why it is not known.
struct SpaceLeft {
    std::optional<std::int64_t> Bytes;  // none where the server does not tell
    bool Asked = true;                  // false: the asking failed, for the reason in Why
    std::string Why;
};

// Logs `ftp` on as it is set up. A logon in TLS is remembered in `memory`,
// so that the next one to the site must be in TLS too; where that cannot be
// kept, `notRemembered` hears why, and the logon counts all the same. Then
// the start directory is entered, where one is given.
void ConnectToSite(TznFTP& ftp, TlsMemory& memory, const SiteAddress& site,
                   const std::function<void(const std::string&)>& notRemembered);

// One measuring of an FTP site, as the window and dirweigh-cli both run it:
// the logon, the walk by one walk session, its totals, and the space left
// after a whole walk. Each front end calls the steps in the order its
// output has always come in, shows the results in its own words, and keeps
// the walk with the site's history (site_history.h).
class SiteRun {
public:
    SiteRun(TznFTP& ftp, WalkSessionObserver& observer, WalkSession::Settings settings);

    // ConnectToSite, and what the run learns from it: logged on, in TLS.
    void Connect(TlsMemory& memory, const SiteAddress& site,
                 const std::function<void(const std::string&)>& notRemembered);
    // The server's name of the start directory, for the history (see
    // WalkSession::LearnStart).
    std::string LearnStart() { return session_.LearnStart(); }
    void Walk();
    const WalkTotals& Totals() const { return session_.Totals(); }

    // Whether the logon went through, even where the walk did not.
    bool LoggedOn() const { return loggedOn_; }
    // Whether the logon was in TLS and, once the walk has ended of itself,
    // every further connection it used too.
    bool Secured() const { return secured_; }

    // The space left where the server tells it (AVBL), for after a whole
    // walk. A server that answers it badly, or a connection lost now,
    // spoils nothing of the walk: the answer only says why it is not known.
    SpaceLeft AskSpaceLeft();

    // A Cancel for the further connections; the first is the caller's.
    void CancelFurther() { session_.CancelFurther(); }
    // See WalkSession::End.
    void End(bool aborted, bool withFirst) { session_.End(aborted, withFirst); }

private:
    TznFTP& ftp_;
    WalkSession session_;
    bool loggedOn_ = false;
    bool secured_ = false;
};

}  // namespace zn
