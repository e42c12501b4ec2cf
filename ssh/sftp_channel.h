// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ssh/sftp_packets.h"
#include "ssh/ssh_session.h"

namespace zn {

// The SFTP subsystem on one channel of a logged-on SSH session, spoken
// packet by packet rather than through libssh2's own SFTP calls: those
// wait for each reply before the next request, and a walk wants many
// directories' requests on the way at once. Requests go into a queue that
// is written whenever the channel takes more; replies are read as they
// come, in the server's order, each with its request's id.
class SftpChannel {
public:
    explicit SftpChannel(SshSession& ssh) : ssh_(ssh) {}
    ~SftpChannel();
    SftpChannel(const SftpChannel&) = delete;
    SftpChannel& operator=(const SftpChannel&) = delete;

    // Opens the channel, asks for the "sftp" subsystem and agrees on
    // version 3. Throws ESocketError where the server will not, and
    // EServerError where it answers with something else.
    void Open();
    // Queues a request whose argument is a path or a handle; returns its id.
    std::uint32_t Send(sftp::PacketType type, const std::string& argument);
    // The next reply, waiting for it in the event loop, while the queue is
    // written. Throws what the session's waits throw, and ESocketError
    // when the server closes the channel.
    sftp::Reply Receive();
    // The next reply where one has come, the queue written and the channel
    // read as far as they go without a wait; nothing where a wait is due.
    std::optional<sftp::Reply> Poll();
    SshSession& Session() { return ssh_; }
    // Lets the channel go; before the session closes.
    void Close();

private:
    // Writes what the channel takes now; true when it took something.
    bool Flush();
    // Reads what has come; true when something had.
    bool Fill();

    SshSession& ssh_;
    LIBSSH2_CHANNEL* channel_ = nullptr;
    std::string out_;
    std::size_t written_ = 0;
    std::string in_;
    std::size_t read_ = 0;
    std::uint32_t nextId_ = 1;
};

}  // namespace zn
