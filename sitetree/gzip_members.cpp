// SPDX-License-Identifier: MIT
#include "sitetree/gzip_members.h"

#include <fcntl.h>
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
// Parts that may be out at once, made or waiting to be written: a lane
// slowed down (the machine is shared) then holds up the other for as long
// as it takes the other to compress this many, not at every part.
constexpr std::uint64_t kSlots = 6;
// A file to be flushed is sent to the disk in runs of this much while
// the rest is being compressed: fewer runs cost more at the flush, more
// cost more in calls.
constexpr off_t kWriteBehindBytes = off_t{128} * 1024;

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

// What one thread holds: the part's text and igzip's working memory, kept
// from part to part.
struct Lane {
    std::unique_ptr<std::uint8_t[]> levelBuffer;
    std::string text;
};

// A compressed member and whether it waits to be written.
struct Slot {
    std::vector<std::uint8_t> member;
    std::size_t size = 0;
    bool ready = false;
};

// The lane's text as a gzip member in `member`: its size, 0 when it failed.
std::size_t CompressPart(Lane& lane, std::vector<std::uint8_t>& member) {
    // Room for the text stored as it is, should it not shrink, and the
    // gzip header and trailer.
    const std::size_t room = lane.text.size() + lane.text.size() / 8 + 1024;
    if (member.size() < room) member.resize(room);
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
    stream.next_out = member.data();
    stream.avail_out = static_cast<std::uint32_t>(member.size());
    const bool whole = isal_deflate(&stream) == COMP_OK && stream.internal_state.state == ZSTATE_END;
    return whole ? stream.total_out : 0;
}

class MemberWriter {
public:
    MemberWriter(int fd, const NextGzipPart& next, Durability durability)
        : fd_(fd), next_(next), durability_(durability) {
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
            const std::size_t size = CompressPart(lanes_[0], slots_[0].member);
            failed_ = size == 0 || !WriteMember(slots_[0].member.data(), size);
        }
        if (!failed_ && durability_ == Durability::Synced) failed_ = ::fsync(fd_) != 0;
        return !failed_;
    }

private:
    void Work(Lane& lane) {
        try {
            while (TakeAndCompress(lane)) {
            }
        } catch (const std::exception&) {
            // Out of memory: the file is not whole.
            const std::lock_guard lock(mutex_);
            failed_ = true;
            changed_.notify_all();
        }
    }

    // Takes the next part, makes and compresses it, and writes what is
    // ready in turn: false once there is none left or anything failed.
    bool TakeAndCompress(Lane& lane) {
        GzipPart part;
        std::uint64_t number = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return failed_ || ended_ || taken_ - written_ < kSlots; });
            if (failed_ || ended_) return false;
            part = next_();
            ended_ = !part;
            if (ended_) return false;
            number = taken_++;
        }
        // The slot is this part's alone: no more than kSlots parts are out
        // at once, so the part that had it before is written.
        Slot& slot = slots_[number % kSlots];
        lane.text.clear();
        part(lane.text);
        const std::size_t size = CompressPart(lane, slot.member);
        std::unique_lock lock(mutex_);
        slot.size = size;
        slot.ready = true;
        WriteReady(lock);
        return !failed_;
    }

    // Writes the members that are ready, in order, unless another thread
    // is at it already: that one finds this member when its turn comes.
    void WriteReady(std::unique_lock<std::mutex>& lock) {
        if (writing_) return;
        writing_ = true;
        for (Slot* slot = &slots_[written_ % kSlots]; slot->ready && !failed_; slot = &slots_[written_ % kSlots]) {
            lock.unlock();
            const bool ok = slot->size > 0 && WriteMember(slot->member.data(), slot->size);
            lock.lock();
            slot->ready = false;
            ++written_;
            failed_ = failed_ || !ok;
            changed_.notify_all();
        }
        writing_ = false;
    }

    // Called only by the thread that is writing, so it needs no lock.
    bool WriteMember(const std::uint8_t* data, std::size_t size) {
        if (!WriteAll(fd_, data, size)) return false;
        bytesWritten_ += static_cast<off_t>(size);
        if (durability_ == Durability::Synced && bytesWritten_ - bytesSent_ >= kWriteBehindBytes) {
            // Only a start: the flush at the end says whether it all got
            // there, so a file system that cannot do this loses nothing.
            ::sync_file_range(fd_, bytesSent_, bytesWritten_ - bytesSent_, SYNC_FILE_RANGE_WRITE);
            bytesSent_ = bytesWritten_;
        }
        return true;
    }

    int fd_;
    const NextGzipPart& next_;
    Durability durability_;
    std::array<Lane, 2> lanes_;
    std::array<Slot, kSlots> slots_;  // a slot's member is its lane's until ready
    off_t bytesWritten_ = 0;          // by the thread that is writing
    off_t bytesSent_ = 0;             // likewise

    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t taken_ = 0;    // parts handed out; guarded by mutex_
    std::uint64_t written_ = 0;  // guarded by mutex_
    bool writing_ = false;       // guarded by mutex_
    bool ended_ = false;         // guarded by mutex_
    bool failed_ = false;        // guarded by mutex_
};

}  // namespace

bool WriteGzipMembers(int fd, const NextGzipPart& next, Durability durability) {
    if (fd < 0) return false;
    bool ok = false;
    try {
        ok = MemberWriter(fd, next, durability).Run();
    } catch (const std::exception&) {
        ok = false;
    }
    return ::close(fd) == 0 && ok;
}

}  // namespace zn
