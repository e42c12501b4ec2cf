// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/ftp.h"
#include "ftp/site_walker.h"
#include "platform/component.h"

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
    // A further connection that could not be opened, for a reason other
    // than the server's refusal of one more.
    virtual void ConnectionFailed(const std::string& /*tag*/, const std::string& /*message*/) {}
};

// Shows `ftp`'s dialogue to `observer`, tagged with `tag`.
void ShowDialogue(TznFTP& ftp, WalkSessionObserver& observer, const std::string& tag);

// One size walk over a logged-on client, as the window and the command line
// run it: the designed walk, or the fast walk with the further connections
// it opens when it lists by STAT, until they are ended.
class WalkSession {
public:
    struct Settings {
        WalkRules Rules;
        bool Fast = false;
        int Connections = 1;  // the most the fast walk uses, the first included
    };
    WalkSession(TznFTP& first, WalkSessionObserver& observer, Settings settings);

    // Walks the first client's current directory.
    void Walk() { walker_->Walk(); }
    const WalkTotals& Totals() const { return walker_->Totals(); }
    // Whether every further connection was in TLS when it opened; true
    // when none did.
    bool FurtherSecured() const { return furtherSecured_; }
    // Cancels the further connections, while they open too: the walk may
    // be waiting on any of them. The first is the caller's to cancel.
    void CancelFurther();
    // QUIT on every further connection after a complete walk, and on the
    // first too where `withFirst` says so, all sent before any reply is
    // read, so the ending waits one time-out at most; after a failure, only
    // the close.
    void End(bool aborted, bool withFirst);

private:
    std::vector<TznFTP*> OpenFurther(int connections);

    TznFTP& first_;
    WalkSessionObserver& observer_;
    platform::TComponent owner_{nullptr};  // of the further connections
    std::vector<TznFTP*> further_;
    bool furtherSecured_ = true;
    std::unique_ptr<WalkStrategy> walker_;
};

}  // namespace zn
