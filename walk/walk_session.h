// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/client/ftp.h"
#include "platform/component.h"
#include "walk/cwd_walker.h"
#include "walk/further_connections.h"

namespace zn {

// A command as a log shows it: a password never.
std::string ShownCommand(const std::string& line);

// What a walk session tells its front end, beside the walk's own events:
// the dialogue of the further connections, each line tagged with the
// connection's number ("[2] "), a password masked. Every hook is optional.
class WalkSessionObserver : public WalkObserver {
public:
    virtual void LineSent(const std::string& /*tag*/, const std::string& /*shown*/) {}
    virtual void LineReceived(const std::string& /*tag*/, const std::string& /*line*/) {}
    virtual void Secured(const std::string& /*tag*/, const TznFTP& /*ftp*/) {}
    // A further connection starts its logon: one more pays for itself.
    virtual void ConnectionOpening(const std::string& /*tag*/) {}
    // A further connection that could not be opened, for a reason other
    // than the server's refusal of one more.
    virtual void ConnectionFailed(const std::string& /*tag*/, const std::string& /*message*/) {}
};

// What the front ends show when a further connection starts its logon.
inline constexpr const char* kOpeningNote = "one more connection pays for its logon: opening it";

// Shows `ftp`'s dialogue to `observer`, tagged with `tag`.
void ShowDialogue(TznFTP& ftp, WalkSessionObserver& observer, const std::string& tag);

// One size walk over a logged-on client, as the window and the command line
// run it: the designed walk, or the fast walk with the further connections
// it opens while it lists by STAT, until they are ended.
//
// The further connections are clients of the same server with the first
// one's settings (server, user, password, passive mode, proxy), opened one
// at a time while one more pays, and logging on without holding up those
// that list. When the first is in TLS each further one must be too, with
// the same certificate; when it is not, none is. Any failure to open one
// ends the opening, not the walk: a server that refuses one more connection
// says so with "421" or with a "530" about too many, and the walk goes on
// with those it took. A Cancel while one logs on is the walk's: it ends the
// walk as cancelled.
class WalkSession : private FurtherConnections {
public:
    struct Settings {
        WalkRules Rules;
        bool Fast = false;
        int Connections = 1;  // the most the fast walk uses, the first included
    };
    WalkSession(TznFTP& first, WalkSessionObserver& observer, Settings settings);
    ~WalkSession() override = default;
    WalkSession(const WalkSession&) = delete;
    WalkSession& operator=(const WalkSession&) = delete;

    // Walks the first client's current directory.
    void Walk() { walker_->Walk(); }
    // The server's name of the first client's current directory, from one
    // PWD, for what is kept of the walk; the fast walk, which needs it
    // too, does not ask again. "" where the server gives none.
    std::string LearnStart();
    const WalkTotals& Totals() const { return walker_->Totals(); }
    // Whether every further connection that joined the walk was in TLS;
    // true when none did.
    bool FurtherSecured() const;
    // How many connections the walk used, the first included.
    int ConnectionsUsed() const { return 1 + static_cast<int>(further_.size()); }
    // Cancels the further connections, while they log on too: the walk may
    // be waiting on any of them. The first is the caller's to cancel.
    void CancelFurther();
    // QUIT on every further connection after a complete walk, and on the
    // first too where `withFirst` says so, all sent before any reply is
    // read, so the ending waits one time-out at most; after a failure, only
    // the close. One still logging on is closed.
    void End(bool aborted, bool withFirst);

private:
    void OpenOne() override;
    std::vector<TznFTP*> TakeLoggedOn() override;
    int Opening() const override { return static_cast<int>(opening_.size()); }
    // A logon that failed: reported unless the server refused one more.
    void LogonFailed(TznFTP* ftp, int number, const std::string& message);

    TznFTP& first_;
    WalkSessionObserver& observer_;
    int most_ = 1;
    platform::TComponent owner_{nullptr};           // of the further connections
    std::vector<std::pair<TznFTP*, int>> opening_;  // with their numbers
    std::vector<TznFTP*> further_;                  // logged on
    int opened_ = 0;
    std::unique_ptr<WalkStrategy> walker_;
};

}  // namespace zn
