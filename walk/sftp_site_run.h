// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "ssh/sftp_connection.h"
#include "ssh/ssh_way_in.h"
#include "walk/sftp_lane_pool.h"
#include "walk/sftp_walker.h"
#include "walk/walk_session.h"

namespace zn {

// One measuring of an SFTP site, as the window and dirweigh-cli both run
// it: the logon over the front end's connection with its answers, the walk
// by the SFTP walker with its dialogue shown to the observer untagged, and
// the totals. The window logs on when the user connects and walks when the
// user asks for the size, so it opens its connection itself and runs the
// walk alone; the command line does both here. The walk opens further
// connections where they pay, given the way in (AllowFurther).
class SftpSiteRun {
public:
    struct Settings {
        WalkRules Rules;
        // As the user gave it; empty: where the server puts the user.
        std::string Start;
        // The most directories on the way at once.
        std::size_t InFlight = SftpWalker::kOpen;
        // The most connections the walk uses, the first included.
        int Connections = 1;
        // Each further one opened as soon as it may, whether it pays or not,
        // and waited for: a knob for the tests, whose trees are too small
        // for one to pay or to outlast a logon.
        bool FurtherAtOnce = false;
    };

    SftpSiteRun(SftpConnection& connection, WalkSessionObserver& observer, Settings settings);

    // Connects, checks the host key and logs on; what fails throws, and
    // LoggedOn still tells whether the logon went through.
    // The answers are asked once: the further connections are given those
    // the first logon took.
    void Connect(const SshTarget& target, const SshAnswers& answers, int timeOutSeconds);
    // Lets the walk open further connections to `target`, logged on with
    // `again`: answers from memory that never ask.
    void AllowFurther(const SshTarget& target, const SshAnswers& again, int timeOutSeconds);
    // Ends the waits of every connection, those logging on too.
    void Cancel();
    // How many connections the walk used, the first included.
    int ConnectionsUsed() const { return 1 + (further_ ? further_->Opened() : 0); }
    void Walk() { walker_.Walk(); }
    const WalkTotals& Totals() const { return walker_.Totals(); }
    std::string Method() const { return walker_.Method(); }
    // The server's name of the start directory, for the history, once the
    // walk has asked.
    const std::string& Start() const { return walker_.Start(); }
    bool LoggedOn() const { return connection_.LoggedOn(); }

private:
    SftpConnection& connection_;
    int connections_;
    bool furtherAtOnce_;
    SftpWalker walker_;
    std::unique_ptr<SftpLanePool> further_;
};

}  // namespace zn
