// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

#include "ssh/sftp_connection.h"
#include "ssh/ssh_way_in.h"
#include "walk/sftp_walker.h"
#include "walk/walk_session.h"

namespace zn {

// One measuring of an SFTP site, as the window and dirweigh-cli both run
// it: the logon over the front end's connection with its answers, the walk
// by the SFTP walker with its dialogue shown to the observer untagged, and
// the totals. The window logs on when the user connects and walks when the
// user asks for the size, so it opens its connection itself and runs the
// walk alone; the command line does both here.
class SftpSiteRun {
public:
    struct Settings {
        WalkRules Rules;
        // As the user gave it; empty: where the server puts the user.
        std::string Start;
        // The most directories on the way at once.
        std::size_t InFlight = SftpWalker::kOpen;
    };

    SftpSiteRun(SftpConnection& connection, WalkSessionObserver& observer, Settings settings);

    // Connects, checks the host key and logs on; what fails throws, and
    // LoggedOn still tells whether the logon went through.
    void Connect(const SshTarget& target, const SshAnswers& answers, int timeOutSeconds);
    void Walk() { walker_.Walk(); }
    const WalkTotals& Totals() const { return walker_.Totals(); }
    std::string Method() const { return walker_.Method(); }
    // The server's name of the start directory, for the history, once the
    // walk has asked.
    const std::string& Start() const { return walker_.Start(); }
    bool LoggedOn() const { return connection_.LoggedOn(); }

private:
    SftpConnection& connection_;
    SftpWalker walker_;
};

}  // namespace zn
