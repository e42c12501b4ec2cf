// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The SFTP packets a walk needs, in version 3 of the protocol, which
// OpenSSH speaks: each is "uint32 length, byte type, uint32 id, ...", so
// that many requests can be written before their replies and each reply
// finds its request by the id.
namespace zn::sftp {

enum PacketType : std::uint8_t {
    kInit = 1,
    kVersion = 2,
    kClose = 4,
    kOpenDir = 11,
    kReadDir = 12,
    kRealPath = 16,
    kStatus = 101,
    kHandle = 102,
    kName = 104,
};

enum StatusCode : std::uint32_t { kOk = 0, kEof = 1, kNoSuchFile = 2, kPermissionDenied = 3, kFailure = 4 };

// The file type bits of the permissions, as in lstat's st_mode.
constexpr std::uint32_t kTypeMask = 0170000;
constexpr std::uint32_t kDirectory = 0040000;
constexpr std::uint32_t kLink = 0120000;

struct Attributes {
    std::optional<std::uint64_t> Size;
    std::optional<std::uint32_t> Permissions;
};

struct Name {
    std::string Filename;
    Attributes Attrs;
};

// A reply to one request: a status (with its words), a handle, or names.
// VERSION carries the server's version in Status.
struct Reply {
    PacketType Type = kStatus;
    std::uint32_t Id = 0;
    std::uint32_t Status = kOk;
    std::string Message;
    std::string Handle;
    std::vector<Name> Names;
};

// The largest packet taken: OpenSSH's own bound is far below it, so a
// larger length is a stream out of step, not a big directory.
constexpr std::uint32_t kMaxPacket = 4u << 20;

std::string InitPacket();
// A request whose one argument is a string: a path or a handle.
std::string Request(PacketType type, std::uint32_t id, const std::string& argument);
// The first whole packet of `buffer` from `offset` on, moving `offset` past
// it; nothing while it is not whole. A packet that cannot be read throws
// EServerError, quoting what it could.
std::optional<Reply> TakeReply(const std::string& buffer, std::size_t& offset);
// "no such file", "permission denied"... for a status without words.
std::string StatusText(const Reply& reply);

}  // namespace zn::sftp
