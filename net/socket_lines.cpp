// SPDX-License-Identifier: MIT
// Replies in on the control connection, line by line (RFC 959, section
// 4.2: "xyz-" opens a multi-line reply that the first line starting "xyz "
// closes).

#include "net/core/errors.h"
#include "net/core/message_table.h"
#include "net/socket.h"
#include "platform/str_to_int.h"

#include <algorithm>
#include <cstring>

namespace zn {
namespace {

// A received line as the dialogue sees it: up to a NUL, without its line end.
std::string LineText(const char* data, std::size_t length) {
    std::string line(data, strnlen(data, length));
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return line;
}

}  // namespace

std::int32_t TznSocket::ReplyCode(const std::string& line) {
    return platform::StrToIntDef(std::string_view(line).substr(0, 3), -1);
}

std::int32_t TznSocket::ReadLine(std::string& line) {
    if (!Connected()) RaiseError(kMsgNotConnected);

    // Phase A: wait for data. A peer that has closed with nothing left to
    // read ends the wait at once, as a reset does; so does a Close from an
    // event handler.
    {
        WaitScope wait(*this);
        WaitUntil([&] {
            return Stopped(StopReasons::CancelTimeOutOrError) || !Connected() || Notified_.PeerClosed || InputWaiting();
        });
    }
    RaiseIfStopped(StopReasons::CancelTimeOutOrError);
    if (!Connected()) RaiseError(kMsgNotConnected);
    if (!(Tls_ ? Tls_->InputPending() : InboxHolds() || Notified_.DataArrived)) RaiseError(winsock::WSAECONNRESET);

    // Phase B: the whole line must arrive within the time-out from here. A
    // failure leaves the line empty.
    line.clear();
    std::string received;
    std::int32_t result = -1;
    const std::shared_ptr<const bool> alive = AliveToken();
    try {
        WaitScope wait(*this);
        Notified_.DataArrived = false;
        result = ReadLineBody(received);
    } catch (...) {
        if (*alive) Fire(OnLineReceived, this, std::string());
        throw;
    }
    line = received;
    FireChecked(OnLineReceived, this, line);
    return result;
}

// The socket's notification does not tell whether a line's bytes are here:
// the bytes it announced may have been served from those read (or
// decrypted) before, and bytes waiting here never wake the loop. So this
// asks: the bytes held, or a read of the socket; a read that finds nothing
// arms the wake-up of the wait. A failure counts as input, for the read to
// report.
bool TznSocket::InputWaiting() {
    if (Tls_) return Tls_->Poll();
    if (InboxHolds()) return true;
    char byte;
    return Receive(&byte, 1, true) != winsock::SOCKET_ERROR ||
           WinsockInstance.WSAGetLastError() != winsock::WSAEWOULDBLOCK;
}

bool TznSocket::ReplyLeft() {
    if (InboxHolds()) return true;
    char byte;
    return Receive(&byte, 1, true) > 0;
}

bool TznSocket::ClosingReplyNext() {
    char head[4];
    return Receive(head, sizeof head, true) == sizeof head && std::memcmp(head, "421 ", sizeof head) == 0;
}

bool TznSocket::LineWaiting() {
    if (!Connected()) return true;
    char chunk[kLineMax];
    const int n = Receive(chunk, sizeof chunk, true);
    if (n == winsock::SOCKET_ERROR) return Tls_ ? false : WinsockInstance.WSAGetLastError() != winsock::WSAEWOULDBLOCK;
    // A line longer than a chunk is long enough to be read now.
    return n == 0 || n == static_cast<int>(sizeof chunk) || std::memchr(chunk, '\n', static_cast<std::size_t>(n));
}

// Takes what has come up to and including the next LF, and not a byte
// more, so the next reply stays for the next read (in the socket, or in
// what was read ahead): a peek shows what is there, a read takes exactly the
// part up to the LF.
int TznSocket::ReceiveUpToLineEnd(char* chunk, int capacity, bool& found) {
    found = false;
    const int n = Receive(chunk, capacity, true);
    if (n <= 0) return n;
    const char* lf = static_cast<const char*>(std::memchr(chunk, '\n', static_cast<std::size_t>(n)));
    found = lf != nullptr;
    return Receive(chunk, lf ? static_cast<int>(lf - chunk + 1) : n, false);
}

// One read of what has come of the line, kept in `buffer` up to kLineMax
// bytes; `received` counts every byte, kept or not. Returns what the read
// returned.
int TznSocket::CollectLinePart(char* buffer, std::size_t& count, std::size_t& received, bool& found) {
    char chunk[kLineMax];
    const int n = ReceiveUpToLineEnd(chunk, sizeof chunk, found);
    if (n == winsock::SOCKET_ERROR) {
        // Through TLS, nothing there yet is the only error left.
        const int code = Tls_ ? winsock::WSAEWOULDBLOCK : WinsockInstance.WSAGetLastError();
        if (code != winsock::WSAEWOULDBLOCK && !Canceled_) RaiseError(static_cast<std::uint16_t>(code));
    } else if (n > 0) {
        const std::size_t kept = std::min(static_cast<std::size_t>(n), kLineMax - count);
        std::memcpy(buffer + count, chunk, kept);
        count += kept;
        received += static_cast<std::size_t>(n);
    }
    return n;
}

// Collects one line. Bytes past kLineMax are read and dropped up to the LF.
std::int32_t TznSocket::ReadLineBody(std::string& line) {
    char buffer[kLineMax + 1] = {};
    std::size_t count = 0;
    std::size_t received = 0;
    bool found = false;
    // Events are let in only when the line is not complete: a reply that is
    // already there is taken without a turn of the event loop, which costs
    // more than the read.
    for (;;) {
        if (!Connected()) break;
        const int n = CollectLinePart(buffer, count, received, found);
        if (found || received > kLineBytesMax) break;
        Pump();
        if (Stopped() || (Notified_.PeerClosed && n == 0) || !Connected()) break;
        // Nothing to read yet: block until the socket, a tick or a cancel
        // wakes the loop.
        if (n <= 0) Block();
    }
    TimeCounter_.Stop();
    // Each byte restarts the time-out: a line that never ends would never
    // end the wait either.
    if (!found && received > kLineBytesMax) {
        RaiseErrorText("The server sent a line that does not end (more than 1 MiB); the connection was closed", true);
    }

    std::int32_t result = -1;
    if (found) {
        line = LineText(buffer, kLineMax);
        result = ReplyCode(line);
    }
    RaiseIfStopped();
    if (!found && !Connected()) RaiseError(kMsgNotConnected);
    return result;
}

// The next line of a multi-line reply when it is already there: taken
// without a wait, a turn of the event loop or the time-out counter, which
// cost far more than the read itself when a reply carries a listing. Every
// few lines, and whenever the line is not complete yet, ReadLine does it
// the full way, so events (Cancel) still come in.
bool TznSocket::TakeWaitingLine(std::string& line, std::int32_t& code) {
    constexpr unsigned kLinesBetweenEvents = 32;
    if (++linesTaken_ % kLinesBetweenEvents == 0 || !Connected()) return false;
    char chunk[kLineMax];
    const int n = Receive(chunk, sizeof chunk, true);
    if (n <= 0) return false;
    const char* lf = static_cast<const char*>(std::memchr(chunk, '\n', static_cast<std::size_t>(n)));
    if (!lf) return false;
    const int length = static_cast<int>(lf - chunk + 1);
    if (Receive(chunk, length, false) != length) return false;
    line = LineText(chunk, static_cast<std::size_t>(length));
    code = ReplyCode(line);
    FireChecked(OnLineReceived, this, line);
    return true;
}

std::int32_t TznSocket::ReadNextLine(std::string& line) {
    std::int32_t code = -1;
    return TakeWaitingLine(line, code) ? code : ReadLine(line);
}

// A multi-line reply ends with its closing line; one that never comes (a
// server sending "220-" lines for ever, each restarting the time-out) ends
// here, and the connection with it, since the dialogue is out of step.
std::int32_t TznSocket::ReadReply(std::vector<std::string>* kept) {
    if (kept) kept->clear();
    const std::int32_t code = ReadNextLine(LastReply_);
    if (kept) kept->push_back(LastReply_);
    if (code > 0 && LastReply_.find('-') == 3) {
        std::size_t lines = 1, bytes = LastReply_.size();
        ReplyPace pace;
        for (;;) {
            const std::int32_t next = ReadNextLine(LastReply_);
            KeepReplyPace(pace, LastReply_.size() + 2);
            if (kept) kept->push_back(LastReply_);
            if ((Notified_.PeerClosed && !InboxHolds()) || (next == code && LastReply_.find(' ') == 3)) break;
            bytes += LastReply_.size();
            if (++lines >= kReplyLinesMax || bytes >= kReplyBytesMax) {
                RaiseErrorText("The server's reply does not end (more than " + std::to_string(kReplyLinesMax) +
                                   " lines or 1 MiB); the connection was closed",
                               true);
            }
        }
    }
    return code;
}

void TznSocket::KeepReplyPace(ReplyPace& pace, std::size_t lineBytes) {
    const auto now = std::chrono::steady_clock::now();
    if (ReplyDeadline_ && now > *ReplyDeadline_) RaiseTimeOut(" (the reply did not end in time)");
    pace.bytes += lineBytes;
    if (now - pace.since < std::chrono::seconds(LowSpeedSeconds_)) return;
    if (pace.bytes < LowSpeedBytes_) {
        RaiseTimeOut(" (the reply grew by less than " + std::to_string(LowSpeedBytes_) + " bytes in " +
                     std::to_string(LowSpeedSeconds_) + " s)");
    }
    pace = ReplyPace{now, 0};
}

void TznSocket::CountListingLine(std::uint64_t& lines, std::uint64_t& bytes, std::uint64_t lineBytes) {
    bytes += lineBytes;
    if (++lines <= ListingMax_.Lines && bytes <= ListingMax_.Bytes) return;
    RaiseErrorText("The listing does not end (more than " + std::to_string(ListingMax_.Lines) + " lines or " +
                       std::to_string(ListingMax_.Bytes / 1024) + " KiB); the connection was closed",
                   true);
}

std::int32_t TznSocket::ReadDataReply(const std::function<void(const std::string&, std::int32_t)>& lineOut,
                                      std::string* firstLine) {
    // With commands sent ahead, the reply is often there already.
    const std::int32_t code = ReadNextLine(LastReply_);
    if (firstLine) *firstLine = LastReply_;
    if (code <= 0 || LastReply_.find('-') != 3) return code;
    std::uint64_t lines = 0, bytes = 0;
    ReplyPace pace;
    const std::function<void(const std::string&, std::int32_t)> onLine = [&](const std::string& line,
                                                                             std::int32_t replyCode) {
        CountListingLine(lines, bytes, line.size() + 2);
        KeepReplyPace(pace, line.size() + 2);
        lineOut(line, replyCode);
    };
    for (;;) {
        bool closed = false;
        if (TakeWaitingLines(code, onLine, closed)) {
            if (closed) return code;
            continue;
        }
        // A close before the closing line fails in ReadLine: a listing cut
        // short must not count as whole.
        const std::int32_t next = ReadLine(LastReply_);
        if (next == code && LastReply_.find(' ') == 3) return code;
        onLine(LastReply_, code);
    }
}

// The whole lines of a data reply that are already there, up to its closing
// line and not a byte further (the next reply stays in the socket), taken
// with one peek and one read. False when none is there, and every few
// calls, so that ReadLine lets events (Cancel) in the full way.
bool TznSocket::TakeWaitingLines(std::int32_t code, const std::function<void(const std::string&, std::int32_t)>& onLine,
                                 bool& closed) {
    constexpr unsigned kChunksBetweenEvents = 8;
    if (++linesTaken_ % kChunksBetweenEvents == 0 || !Connected()) return false;
    // Kept between calls, and not cleared: only what Receive wrote is read.
    constexpr int kChunk = 64 * 1024;
    if (!waitingLines_) waitingLines_.reset(new char[kChunk]);
    char* const chunk = waitingLines_.get();
    const int n = Receive(chunk, kChunk, true);
    if (n <= 0) return false;
    const std::string closing = std::to_string(code) + " ";
    std::size_t start = 0;
    std::vector<std::string> lines;
    while (!closed) {
        const char* lf =
            static_cast<const char*>(std::memchr(chunk + start, '\n', static_cast<std::size_t>(n) - start));
        if (!lf) break;
        const std::size_t end = static_cast<std::size_t>(lf - chunk) + 1;
        // As ReadLine: a NUL ends the line, and so does kLineMax.
        std::string line = LineText(chunk + start, std::min(end - start, kLineMax));
        closed = line.compare(0, closing.size(), closing) == 0;
        lines.push_back(std::move(line));
        start = end;
    }
    if (start == 0 || Receive(chunk, static_cast<int>(start), false) != static_cast<int>(start)) return false;
    const std::shared_ptr<const bool> alive = AliveToken();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        LastReply_ = lines[i];
        Fire(OnLineReceived, this, LastReply_);
        StopIfDestroyed(*alive);
        if (!(closed && i + 1 == lines.size())) onLine(LastReply_, code);
    }
    return true;
}

}  // namespace zn
