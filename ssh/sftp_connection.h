// SPDX-License-Identifier: MIT
#pragma once

#include "ssh/sftp_channel.h"
#include "ssh/ssh_session.h"
#include "ssh/ssh_way_in.h"

namespace zn {

// The connection of an SFTP site's run, as the window and dirweigh-cli
// both hold it: an SSH session, logged on with the front end's answers,
// and its SFTP channel, which a walk takes from the start. A session that
// was cancelled or timed out cannot be used again, so each connect takes a
// connection of its own.
class SftpConnection {
public:
    SftpConnection() : channel_(ssh_) {}
    ~SftpConnection() { Close(); }
    SftpConnection(const SftpConnection&) = delete;
    SftpConnection& operator=(const SftpConnection&) = delete;

    // Connects, checks the host key, logs on and opens the channel. What
    // fails throws, and the connection stays as far as it got: whether the
    // logon went through can still be asked; Close ends it.
    void Open(const SshTarget& target, const SshAnswers& answers, int timeOutSeconds);
    bool Connected() const { return open_; }
    // What the last Open took, from the first packet to the channel's
    // version.
    double LogonSeconds() const { return logonSeconds_; }
    bool LoggedOn() const { return ssh_.LoggedOn(); }
    SftpChannel& Channel() { return channel_; }
    // Ends the wait running, or the next, also one before Open; the caller
    // closes.
    void Cancel() { ssh_.Cancel(); }
    bool Canceled() const { return ssh_.Canceled(); }
    void Close();

private:
    SshSession ssh_;
    SftpChannel channel_;
    bool open_ = false;
    double logonSeconds_ = 0;
};

}  // namespace zn
