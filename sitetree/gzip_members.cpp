// SPDX-License-Identifier: MIT
#include "sitetree/gzip_members.h"

#include <isa-l/igzip_lib.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace zn {
namespace {

// igzip's working memory at level 1: its "small" size holds the tokens of a
// 64 KiB member as well as the default's 276 KiB, and compresses to the
// same bytes.
constexpr std::uint32_t kLevelBufferBytes = ISAL_DEF_LVL1_SMALL;
// What a part's text is made in, at first: the parts are cut at about
// 64 KiB.
constexpr std::size_t kPartBytes = std::size_t{72} * 1024;

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

// What one thread holds: the part's text, its member, and igzip's working
// memory, kept from part to part.
struct Lane {
    std::unique_ptr<std::uint8_t[]> levelBuffer;
    std::string text;
    std::vector<std::uint8_t> member;
};

// The lane's text as a gzip member in `member`: its size, 0 when it failed.
std::size_t CompressPart(Lane& lane) {
    // Room for the text stored as it is, should it not shrink, and the
    // gzip header and trailer.
    const std::size_t room = lane.text.size() + lane.text.size() / 8 + 1024;
    if (lane.member.size() < room) lane.member.resize(room);
    isal_zstream stream;
    isal_deflate_init(&stream);
    stream.level = 1;
    stream.level_buf = lane.levelBuffer.get();
    stream.level_buf_size = kLevelBufferBytes;
    stream.gzip_flag = IGZIP_GZIP;
    stream.end_of_stream = 1;
    stream.flush = NO_FLUSH;
    stream.next_in = reinterpret_cast<std::uint8_t*>(lane.text.data());
    stream.avail_in = static_cast<std::uint32_t>(lane.text.size());
    stream.next_out = lane.member.data();
    stream.avail_out = static_cast<std::uint32_t>(lane.member.size());
    const bool whole = isal_deflate(&stream) == COMP_OK && stream.internal_state.state == ZSTATE_END;
    return whole ? stream.total_out : 0;
}

class MemberWriter {
public:
    MemberWriter(int fd, const NextGzipPart& next) : fd_(fd), next_(next) {
        // Made here, by the caller: a thread's first allocation would
        // set up an arena of its own. Left unfilled: igzip writes before
        // it reads, and every page not touched is one not waited for.
        for (Lane& lane : lanes_) {
            lane.levelBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(kLevelBufferBytes);
            lane.text.reserve(kPartBytes);
        }
    }

    bool Run() {
        std::thread helper;
        try {
            helper = std::thread([this] { Work(lanes_[1]); });
        } catch (const std::system_error&) {
            // No thread to be had: the caller makes every part in turn.
        }
        Work(lanes_[0]);
        if (helper.joinable()) helper.join();
        // Even an empty text gets its member: a file of no bytes is no gzip.
        if (taken_ == 0 && !failed_) {
            lanes_[0].text.clear();
            const std::size_t size = CompressPart(lanes_[0]);
            failed_ = size == 0 || !WriteAll(fd_, lanes_[0].member.data(), size);
        }
        return !failed_;
    }

private:
    void Work(Lane& lane) {
        try {
            while (TakeAndWrite(lane)) {
            }
        } catch (const std::exception&) {
            // Out of memory: the file is not whole.
            const std::lock_guard lock(mutex_);
            failed_ = true;
            changed_.notify_all();
        }
    }

    // Takes the next part, makes and compresses it, and writes it in its
    // turn: false once there is none left or anything failed.
    bool TakeAndWrite(Lane& lane) {
        GzipPart part;
        std::uint64_t number = 0;
        {
            const std::lock_guard lock(mutex_);
            if (failed_ || ended_) return false;
            part = next_();
            ended_ = !part;
            if (ended_) return false;
            number = taken_++;
        }
        lane.text.clear();
        part(lane.text);
        const std::size_t size = CompressPart(lane);
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return written_ == number || failed_; });
        if (failed_) return false;
        // Only the member whose turn it is writes, so the file needs no lock.
        lock.unlock();
        const bool ok = size > 0 && WriteAll(fd_, lane.member.data(), size);
        lock.lock();
        ++written_;
        failed_ = failed_ || !ok;
        changed_.notify_all();
        return ok;
    }

    int fd_;
    const NextGzipPart& next_;
    std::array<Lane, 2> lanes_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t taken_ = 0;    // parts handed out; guarded by mutex_
    std::uint64_t written_ = 0;  // guarded by mutex_
    bool ended_ = false;         // guarded by mutex_
    bool failed_ = false;        // guarded by mutex_
};

}  // namespace

bool WriteGzipMembers(int fd, const NextGzipPart& next) {
    if (fd < 0) return false;
    bool ok = false;
    try {
        ok = MemberWriter(fd, next).Run();
    } catch (const std::exception&) {
        ok = false;
    }
    return ::close(fd) == 0 && ok;
}

}  // namespace zn
