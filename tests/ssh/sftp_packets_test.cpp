// SPDX-License-Identifier: MIT
#include "ssh/sftp_packets.h"
#include "net/core/errors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using namespace zn::sftp;

// Packets as a server writes them, built field by field.
struct Packet {
    std::string body;

    Packet& U8(std::uint8_t v) {
        body += static_cast<char>(v);
        return *this;
    }
    Packet& U32(std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) body += static_cast<char>((v >> shift) & 0xFF);
        return *this;
    }
    Packet& U64(std::uint64_t v) { return U32(static_cast<std::uint32_t>(v >> 32)).U32(static_cast<std::uint32_t>(v)); }
    Packet& Str(const std::string& s) {
        U32(static_cast<std::uint32_t>(s.size()));
        body += s;
        return *this;
    }
    std::string Framed() const { return Packet().U32(static_cast<std::uint32_t>(body.size())).body + body; }
};

// A NAME reply with every kind of attribute a server may send: the walk
// must step over those it does not use to find the next name.
TEST(SftpPackets, NamesAreReadPastEveryAttributeTheyCarry) {
    Packet name;
    name.U8(kName).U32(7).U32(3);
    // size, uid and gid, permissions, times
    name.Str("read me.txt").Str("-rw-r--r-- ...").U32(0xF).U64(5000000000ULL).U32(1).U32(2).U32(0100644).U32(3).U32(4);
    // permissions and two extended pairs, no size
    name.Str(".git").Str("drwx...").U32(0x80000004).U32(040755).U32(2).Str("a").Str("b").Str("c").Str("d");
    name.Str("link").Str("lrwx...").U32(0x5).U64(10).U32(0120777);
    const std::string stream = name.Framed() + Packet().U8(kStatus).U32(8).U32(kEof).Framed();

    std::size_t offset = 0;
    const auto reply = TakeReply(stream, offset);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Id, 7u);
    ASSERT_EQ(reply->Names.size(), 3u);
    EXPECT_EQ(reply->Names[0].Filename, "read me.txt");
    EXPECT_EQ(reply->Names[0].Attrs.Size, 5000000000ULL);
    EXPECT_EQ(reply->Names[1].Attrs.Permissions.value_or(0) & kTypeMask, kDirectory);
    EXPECT_FALSE(reply->Names[1].Attrs.Size);
    EXPECT_EQ(reply->Names[2].Attrs.Permissions.value_or(0) & kTypeMask, kLink);
    // Status without words, as older servers send it.
    const auto status = TakeReply(stream, offset);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->Status, kEof);
    EXPECT_EQ(StatusText(*status), "end of file");
    EXPECT_EQ(offset, stream.size());
}

// Replies come in pieces of any size: nothing is taken before it is whole.
TEST(SftpPackets, SplitAtEveryByteTheReplyWaitsUntilWhole) {
    const std::string whole = Packet().U8(kHandle).U32(1).Str("h1").Framed();
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        std::size_t offset = 0;
        EXPECT_FALSE(TakeReply(whole.substr(0, cut), offset)) << cut;
        EXPECT_EQ(offset, 0u);
    }
    std::size_t offset = 0;
    EXPECT_EQ(TakeReply(whole, offset)->Handle, "h1");
}

TEST(SftpPackets, GarbledPacketsAreErrorsNotGuesses) {
    const std::string cases[] = {
        Packet().U32(0).body,                                                  // no type
        Packet().U32(kMaxPacket + 1).body,                                     // out of step
        Packet().U8(kName).U32(1).U32(2).Str("one").Str("l").U32(0).Framed(),  // a name short
        Packet().U8(kHandle).U32(1).U32(99).Framed(),                          // a string longer than the packet
        Packet().U8(200).U32(1).Framed(),                                      // a type no request asks for
    };
    for (const std::string& bytes : cases) {
        std::size_t offset = 0;
        EXPECT_THROW(TakeReply(bytes, offset), zn::EServerError) << testing::PrintToString(bytes);
    }
}

}  // namespace
