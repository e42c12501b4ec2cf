// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ssh/sftp_channel.h"
#include "ssh/ssh_session.h"
#include "ssh/ssh_way_in.h"

// What the window's Server field says when it holds an sftp:// URL,
// "sftp://[user@]host[:port][/path]", as typed: the path is below the
// login directory, and "//" makes it absolute, as for dirweigh-cli.
struct SftpUrl {
    std::string User;    // empty: none in the URL
    std::string Server;  // "host[:port]"
    std::string Path;    // empty: none in the URL
};

// Nothing where the text is no sftp:// URL (the scheme in any case).
std::optional<SftpUrl> ReadSftpUrl(const std::string& typed);

// The window's SFTP connection, open from Connect to Disconnect: an SSH
// session, logged on, and its SFTP channel. A session that was cancelled
// or timed out cannot be used again, so a walk that ends so closes it.
class SftpConnection {
public:
    SftpConnection() = default;
    ~SftpConnection();
    SftpConnection(const SftpConnection&) = delete;
    SftpConnection& operator=(const SftpConnection&) = delete;

    // Connects, checks the host key, logs on and opens the channel; what
    // fails throws, and leaves the connection closed.
    void Open(const zn::SshTarget& target, const zn::SshAnswers& answers, int timeOutSeconds);
    bool Connected() const { return channel_ != nullptr; }
    zn::SftpChannel& Channel() { return *channel_; }
    // Ends the wait running, or the next; the caller closes.
    void Cancel();
    bool Canceled() const { return ssh_ && ssh_->Canceled(); }
    void Close();

private:
    std::unique_ptr<zn::SshSession> ssh_;
    std::unique_ptr<zn::SftpChannel> channel_;
};
