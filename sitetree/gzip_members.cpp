// SPDX-License-Identifier: MIT
#include "sitetree/gzip_members.h"

#include <isa-l/igzip_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

namespace zn {
namespace {

// igzip's working memory at level 1: its "small" size holds the tokens of a
// 64 KiB member as well as the default's 276 KiB, and compresses to the
// same bytes.
constexpr std::uint32_t kLevelBufferBytes = ISAL_DEF_LVL1_SMALL;

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::size_t GzipMemberWriter::CompressMember(Lane& lane) {
    // Room for the member stored as it is, should it not shrink, and the
    // gzip header and trailer.
    lane.compressed.resize(lane.member.size() + lane.member.size() / 8 + 1024);
    isal_zstream stream;
    isal_deflate_init(&stream);
    stream.level = 1;
    stream.level_buf = lane.levelBuffer.get();
    stream.level_buf_size = kLevelBufferBytes;
    stream.gzip_flag = IGZIP_GZIP;
    stream.end_of_stream = 1;
    stream.flush = NO_FLUSH;
    stream.next_in = reinterpret_cast<std::uint8_t*>(lane.member.data());
    stream.avail_in = static_cast<std::uint32_t>(lane.member.size());
    stream.next_out = lane.compressed.data();
    stream.avail_out = static_cast<std::uint32_t>(lane.compressed.size());
    const bool whole = isal_deflate(&stream) == COMP_OK && stream.internal_state.state == ZSTATE_END;
    return whole ? stream.total_out : 0;
}

GzipMemberWriter::GzipMemberWriter(int fd) : fd_(fd) {
    failed_ = fd_ < 0;
    // Left unfilled: igzip writes before it reads, and every page not
    // touched here is one the walk's end does not wait for.
    for (Lane& lane : lanes_) lane.levelBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(kLevelBufferBytes);
    pending_.reserve(kMemberBytes);
    if (failed_) return;
    try {
        for (Lane& lane : lanes_) lane.thread = std::thread([this, &lane] { CompressMembers(lane); });
        threaded_ = true;
    } catch (const std::system_error&) {
        // No threads to be had: every member is then compressed in turn.
        Stop();
        stopping_ = false;
    }
}

GzipMemberWriter::~GzipMemberWriter() {
    Stop();
    if (fd_ >= 0) ::close(fd_);
}

bool GzipMemberWriter::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t room = kMemberBytes - pending_.size();
        pending_.append(bytes.substr(0, room));
        bytes.remove_prefix(std::min(room, bytes.size()));
        if (pending_.size() == kMemberBytes && !HandOver()) return false;
    }
    return true;
}

bool GzipMemberWriter::Finish() {
    // Even an empty stream gets its member: a file of no bytes is no gzip.
    bool ok = HandOver();
    Stop();
    ok = ok && !failed_;
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) ok = false;
    return ok;
}

bool GzipMemberWriter::HandOver() {
    Lane& lane = lanes_[handed_ % lanes_.size()];
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !lane.full || failed_; });
    if (failed_) return false;
    // The buffers change places: the lane's last one, emptied, is the next
    // to fill, and nothing is allocated again.
    lane.member.swap(pending_);
    pending_.clear();
    lane.number = handed_++;
    if (!threaded_) {
        failed_ = !CompressAndWrite(lane, lock);
        return !failed_;
    }
    lane.full = true;
    changed_.notify_all();
    return true;
}

void GzipMemberWriter::CompressMembers(Lane& lane) {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return lane.full || stopping_; });
        if (!lane.full) return;
        if (!CompressAndWrite(lane, lock)) failed_ = true;
        lane.full = false;
        changed_.notify_all();
    }
}

bool GzipMemberWriter::CompressAndWrite(Lane& lane, std::unique_lock<std::mutex>& lock) {
    // The member is the lane's alone until it is marked as taken.
    lock.unlock();
    const std::size_t size = CompressMember(lane);
    lock.lock();
    changed_.wait(lock, [&] { return written_ == lane.number || failed_; });
    if (failed_) return false;
    // Only the member whose turn it is writes, so the file needs no lock.
    lock.unlock();
    const bool ok = size > 0 && WriteAll(fd_, lane.compressed.data(), size);
    lock.lock();
    ++written_;
    return ok;
}

void GzipMemberWriter::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (Lane& lane : lanes_) {
        if (lane.thread.joinable()) lane.thread.join();
    }
    threaded_ = false;
}

}  // namespace zn
