// SPDX-License-Identifier: MIT
#include "ssh/sftp_channel.h"

#include "net/core/errors.h"

#include <array>

namespace zn {

SftpChannel::~SftpChannel() { Close(); }

void SftpChannel::Close() {
    // One try: a channel libssh2 cannot free at once goes with the session.
    if (channel_ && ssh_.Handle()) libssh2_channel_free(channel_);
    channel_ = nullptr;
}

void SftpChannel::Open() {
    LIBSSH2_SESSION* session = ssh_.Handle();
    ssh_.Await([&] {
        channel_ = libssh2_channel_open_session(session);
        return channel_ ? 0L : static_cast<long>(libssh2_session_last_errno(session));
    });
    if (!channel_) throw ESocketError("the server opens no channel: " + ssh_.LastError());
    if (ssh_.Await([&] { return static_cast<long>(libssh2_channel_subsystem(channel_, "sftp")); }) != 0) {
        throw ESocketError("the server offers no SFTP: " + ssh_.LastError());
    }
    out_ += sftp::InitPacket();
    const sftp::Reply version = Receive();
    if (version.Type != sftp::kVersion) throw EServerError("the SFTP server did not say its version");
    if (version.Status < 3) {
        throw EServerError("the SFTP server speaks version " + std::to_string(version.Status) + ", 3 is needed");
    }
}

std::uint32_t SftpChannel::Send(sftp::PacketType type, const std::string& argument) {
    const std::uint32_t id = nextId_++;
    out_ += sftp::Request(type, id, argument);
    return id;
}

sftp::Reply SftpChannel::Receive() {
    for (;;) {
        if (std::optional<sftp::Reply> reply = Poll()) return *reply;
        ssh_.WaitForSocket();
    }
}

std::optional<sftp::Reply> SftpChannel::Poll() {
    for (;;) {
        if (std::optional<sftp::Reply> reply = sftp::TakeReply(in_, read_)) {
            // What was read is dropped once it is most of the buffer, so
            // that the buffer stays about one read long.
            if (read_ > in_.size() / 2) {
                in_.erase(0, read_);
                read_ = 0;
            }
            ssh_.Progressed();
            return reply;
        }
        const bool wrote = Flush();
        const bool read = Fill();
        if (!wrote && !read) return std::nullopt;
    }
}

bool SftpChannel::Flush() {
    bool moved = false;
    while (written_ < out_.size()) {
        const ssize_t rc = libssh2_channel_write(channel_, out_.data() + written_, out_.size() - written_);
        if (rc == LIBSSH2_ERROR_EAGAIN) break;
        if (rc < 0) throw ESocketError("the SFTP channel cannot be written: " + ssh_.LastError());
        written_ += static_cast<std::size_t>(rc);
        moved = true;
    }
    if (written_ == out_.size()) {
        out_.clear();
        written_ = 0;
    }
    return moved;
}

bool SftpChannel::Fill() {
    std::array<char, 65536> buffer{};
    const ssize_t rc = libssh2_channel_read(channel_, buffer.data(), buffer.size());
    if (rc > 0) {
        in_.append(buffer.data(), static_cast<std::size_t>(rc));
        return true;
    }
    if (rc == LIBSSH2_ERROR_EAGAIN) return false;
    if (rc < 0) throw ESocketError("the SFTP channel cannot be read: " + ssh_.LastError());
    if (libssh2_channel_eof(channel_)) throw ESocketError("the server closed the SFTP channel");
    return false;
}

}  // namespace zn
