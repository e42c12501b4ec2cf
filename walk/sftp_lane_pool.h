// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <vector>

#include "ssh/sftp_connection.h"
#include "ssh/ssh_way_in.h"
#include "walk/sftp_walker.h"

namespace zn {

// The further connections of an SFTP walk, each opened when the walk asks
// and logged on to the first one's server with answers that never ask the
// user (SshAnswerMemory::Again), while the walk goes on over the others.
// One that fails to log on is let go and told as a step of the logon; the
// walk goes on with those it has.
class SftpLanePool : public SftpFurtherLanes {
public:
    SftpLanePool(const SftpConnection& first, SshTarget target, SshAnswers again, int timeOutSeconds);

    double LogonSeconds() const override { return logonSeconds_; }
    SftpChannel* OpenOne(const std::function<void()>& whileLoggingOn) override;
    void StopOpening() override;
    // Each logon is waited for, the walk held meanwhile: for the tests,
    // whose trees a walk lists before one more connection has logged on.
    void WaitForEachLogon() { waitForEach_ = true; }
    // Ends the waits of them all, the one logging on too, and keeps any
    // more from opening.
    void Cancel();
    int Opened() const { return static_cast<int>(lanes_.size()); }

private:
    SshTarget target_;
    SshAnswers again_;
    int timeOutSeconds_;
    double logonSeconds_;
    bool canceled_ = false;
    bool stopped_ = false;  // the walk needs the one logging on no more
    bool waitForEach_ = false;
    std::vector<std::unique_ptr<SftpConnection>> lanes_;
    SftpConnection* opening_ = nullptr;
};

}  // namespace zn
