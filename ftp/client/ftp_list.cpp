// SPDX-License-Identifier: MIT
// Listings over a data connection (LIST, MLSD): read as they arrive into
// the listing's parser.

#include "ftp/client/ftp.h"

#include "net/core/errors.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace zn {
namespace {

// Runs a clean-up on every way out of a scope.
template <typename Fn>
class Finally {
public:
    explicit Finally(Fn fn) : fn_(std::move(fn)) {}
    ~Finally() { fn_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    Fn fn_;
};

}  // namespace

// The listing is read into a list of its own, so that a failed LIST leaves
// the previous one as it was.
void TznFTP::List(const std::string& options) { Transfer(options.empty() ? "LIST" : "LIST " + options, false); }

// "MLSD <path>" (RFC 3659): the listing of any directory, by its path, in a
// form that gives exact types and sizes.
void TznFTP::ListMachine(const std::string& path) { Transfer("MLSD " + path, true); }

void TznFTP::Transfer(const std::string& command, bool machineListing) {
    TznFTPDirList incoming;
    incoming.ServerType = DirList_->ServerType;
    incoming.Sink = DirList_->Sink;
    ListingStream_ = std::make_unique<ListingReader>(incoming, machineListing);
    Finally dropStream([this] { ListingStream_.reset(); });

    Exchange("TYPE A", Expect::Positive);
    Finally dropData([this] { Data_.reset(); });
    try {
        OpenDataConnection(command);
        ReceiveData(-1);
        ListingStream_->Finish();
        Data_->Close();
        // The listing command's final reply.
        Receive(nullptr);
    } catch (...) {
        // A listing that failed is owed nothing more: no later reader may
        // take its final reply as theirs.
        Ahead_.clear();
        throw;
    }
    DirList_->TakeEntries(incoming);
    DirList_->ServerType = incoming.ServerType;
}

void TznFTP::ReceiveData(std::int32_t expectedSize) {
    std::vector<char> buffer(std::max<std::uint32_t>(TrasferBufferSize_, 1));
    Fire(OnTransferProgress, this, 0, 0);
    std::int64_t transferred = 0;
    RaiseIfStopped(StopReasons::CancelTimeOutOrError);
    Fire(OnTransferStart, this);

    // The time-out limits the silence between two receives, not the transfer.
    TimeCounter().Start();
    bool done = false;
    // Events (a Cancel, the close, the counter's tick) are let in when a
    // read finds nothing, and every few chunks of a long listing; one turn
    // of the event loop per chunk would cost more than the reading.
    constexpr int kChunksBetweenEvents = 8;
    int chunks = 0;
    std::uint64_t lines = 0, bytes = 0;
    for (;;) {
        const int n = ReceiveDataChunk(buffer.data(), static_cast<int>(buffer.size()));
        if (n != winsock::SOCKET_ERROR) {
            TimeCounter().Start();
            CountListingChunk(std::string_view(buffer.data(), static_cast<std::size_t>(n)), lines, bytes);
            ListingStream_->Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
            transferred += n;
            const std::int32_t percent =
                expectedSize > 0
                    ? static_cast<std::int32_t>(std::nearbyint(static_cast<double>(transferred) * 100.0 / expectedSize))
                    : -1;
            // The event counts in 32 bits; past 2 GiB it stays at its
            // largest value rather than wrapping.
            Fire(OnTransferProgress, this, percent,
                 static_cast<std::int32_t>(std::min<std::int64_t>(transferred, INT32_MAX)));
        }
        if (n <= 0 || ++chunks % kChunksBetweenEvents == 0) platform::ProcessMessages();
        // Through TLS, the end of the stream (close_notify, or the close)
        // is the end: a server may wait for the client's close_notify
        // before it closes its end.
        done = n == 0 && (Data_->Closed() || Data_->Tls());
        if (done || Stopped()) break;
        // Nothing now: block until data, the close, a tick or a cancel.
        if (n <= 0) platform::WaitForNextEvent();
    }
    TimeCounter().Stop();
    if (!done) RaiseIfStopped();
    if (Data_->Tls()) CheckDataStreamEnd(*Data_->Tls());
    Fire(OnTransferEnd, this);
}

// The bytes and the line ends of a data connection's chunk count against
// the listing's bound, as the lines of a listing over the control
// connection do.
void TznFTP::CountListingChunk(std::string_view chunk, std::uint64_t& lines, std::uint64_t& bytes) {
    const auto ends = static_cast<std::uint64_t>(std::count(chunk.begin(), chunk.end(), '\n'));
    if (ends == 0) {
        bytes += chunk.size();
        if (bytes > ListingMax().Bytes) CountListingLine(lines, bytes, 0);
        return;
    }
    lines += ends - 1;
    CountListingLine(lines, bytes, chunk.size());
}

}  // namespace zn
