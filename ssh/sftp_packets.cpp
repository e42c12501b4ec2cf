// SPDX-License-Identifier: MIT
#include "ssh/sftp_packets.h"

#include "net/core/errors.h"

namespace zn::sftp {
namespace {

void PutUint32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// Reads one packet's fields in order; any read past its end throws.
class Reader {
public:
    Reader(const std::string& data, std::size_t from, std::size_t end) : data_(data), at_(from), end_(end) {}

    std::uint32_t Uint32() {
        Need(4);
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(data_[at_++]);
        return value;
    }
    std::uint64_t Uint64() {
        const std::uint64_t high = Uint32();
        return (high << 32) | Uint32();
    }
    std::uint8_t Byte() {
        Need(1);
        return static_cast<std::uint8_t>(data_[at_++]);
    }
    std::string String() {
        const std::uint32_t length = Uint32();
        Need(length);
        std::string text = data_.substr(at_, length);
        at_ += length;
        return text;
    }

private:
    void Need(std::size_t bytes) const {
        if (end_ - at_ < bytes) throw EServerError("the SFTP server sent a packet shorter than its fields");
    }

    const std::string& data_;
    std::size_t at_;
    std::size_t end_;
};

Attributes ReadAttributes(Reader& in) {
    enum : std::uint32_t { kSize = 0x1, kUidGid = 0x2, kPermissions = 0x4, kTimes = 0x8, kExtended = 0x80000000 };
    Attributes attributes;
    const std::uint32_t flags = in.Uint32();
    if (flags & kSize) attributes.Size = in.Uint64();
    if (flags & kUidGid) in.Uint64();
    if (flags & kPermissions) attributes.Permissions = in.Uint32();
    if (flags & kTimes) in.Uint64();
    if (flags & kExtended) {
        for (std::uint32_t count = in.Uint32(); count > 0; --count) {
            in.String();
            in.String();
        }
    }
    return attributes;
}

void ReadBody(Reader& in, Reply& reply) {
    switch (reply.Type) {
        case kStatus:
            reply.Status = in.Uint32();
            // Version 3 servers add words and a language tag; older ones
            // may stop after the code.
            try {
                reply.Message = in.String();
            } catch (const EServerError&) {
            }
            return;
        case kHandle: reply.Handle = in.String(); return;
        case kName:
            for (std::uint32_t count = in.Uint32(); count > 0; --count) {
                Name name;
                name.Filename = in.String();
                in.String();  // the "ls -l" line, which the attributes say better
                name.Attrs = ReadAttributes(in);
                reply.Names.push_back(std::move(name));
            }
            return;
        default: throw EServerError("the SFTP server sent a packet of type " + std::to_string(reply.Type));
    }
}

}  // namespace

std::string InitPacket() {
    std::string packet;
    PutUint32(packet, 5);
    packet += static_cast<char>(kInit);
    PutUint32(packet, 3);
    return packet;
}

std::string Request(PacketType type, std::uint32_t id, const std::string& argument) {
    std::string packet;
    PutUint32(packet, static_cast<std::uint32_t>(1 + 4 + 4 + argument.size()));
    packet += static_cast<char>(type);
    PutUint32(packet, id);
    PutUint32(packet, static_cast<std::uint32_t>(argument.size()));
    packet += argument;
    return packet;
}

std::optional<Reply> TakeReply(const std::string& buffer, std::size_t& offset) {
    if (buffer.size() - offset < 4) return std::nullopt;
    const std::uint32_t length = Reader(buffer, offset, offset + 4).Uint32();
    if (length == 0 || length > kMaxPacket) {
        throw EServerError("the SFTP server sent a packet of " + std::to_string(length) + " bytes");
    }
    if (buffer.size() - offset - 4 < length) return std::nullopt;
    Reader in(buffer, offset + 4, offset + 4 + length);
    offset += 4 + length;
    Reply reply;
    reply.Type = static_cast<PacketType>(in.Byte());
    if (reply.Type == kVersion) {
        reply.Status = in.Uint32();
        return reply;
    }
    reply.Id = in.Uint32();
    ReadBody(in, reply);
    return reply;
}

std::string StatusText(const Reply& reply) {
    if (!reply.Message.empty()) return reply.Message;
    switch (reply.Status) {
        case kEof: return "end of file";
        case kNoSuchFile: return "no such file";
        case kPermissionDenied: return "permission denied";
        default: return "failure " + std::to_string(reply.Status);
    }
}

}  // namespace zn::sftp
