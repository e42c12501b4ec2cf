// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zn {

// Bytes written to a file as a gzip stream (RFC 1952) of members of at most
// kMemberBytes each, every member compressed whole by ISA-L's igzip at its
// level 1. gzip, zcat and gzread read the members as one stream. On a
// walk's text igzip is twice as fast as libdeflate's fastest level and four
// times zlib's, for a file as small, and the memory stays bounded however
// big the export.
//
// Keeping a walk is done after the walk, where every millisecond is one the
// user waits for, and compressing took twice as long as making the text: so
// members are compressed by threads of the writer's own, each taking every
// other member, while the caller makes the next, and written in their order.
// A member waits for its thread while that thread is busy, so the memory
// stays five members' worth; at 64 KiB they cost the walk few page faults
// and the file 2 % more than members of a MiB.
class GzipMemberWriter {
public:
    static constexpr std::size_t kMemberBytes = std::size_t{64} * 1024;

    // Writes to `fd`, which it closes.
    explicit GzipMemberWriter(int fd);
    ~GzipMemberWriter();
    GzipMemberWriter(const GzipMemberWriter&) = delete;
    GzipMemberWriter& operator=(const GzipMemberWriter&) = delete;

    bool Write(std::string_view bytes);
    // The last member, then the close: false when anything failed.
    bool Finish();

private:
    // One compressing thread and what it holds.
    struct Lane {
        // igzip's working memory, kept from member to member.
        std::unique_ptr<std::uint8_t[]> levelBuffer;
        std::string member;  // handed over; guarded by mutex_ while `full` is false
        std::uint64_t number = 0;
        bool full = false;
        std::vector<std::uint8_t> compressed;
        std::thread thread;
    };

    // Gives the full member to its lane once the lane has taken the one
    // before; false once anything failed.
    bool HandOver();
    void CompressMembers(Lane& lane);
    // The lane's member as a gzip member in `compressed`: its size, 0 when
    // it failed.
    static std::size_t CompressMember(Lane& lane);
    // Compresses, then writes once every member before it is written.
    bool CompressAndWrite(Lane& lane, std::unique_lock<std::mutex>& lock);
    void Stop();

    int fd_;
    std::array<Lane, 2> lanes_;
    std::string pending_;
    std::uint64_t handed_ = 0;  // members handed over so far
    bool threaded_ = false;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t written_ = 0;  // guarded by mutex_
    bool stopping_ = false;
    bool failed_ = false;
};

}  // namespace zn
