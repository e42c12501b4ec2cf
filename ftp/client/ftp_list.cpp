// SPDX-License-Identifier: MIT
// LIST over an active-mode data connection (RFC 959, section 3.2): the client
// listens, announces the address with PORT, and the server connects to it.

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

std::uint16_t LastError() { return static_cast<std::uint16_t>(WinsockInstance.WSAGetLastError()); }

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
    ListingStream = std::make_unique<ListingReader>(incoming, machineListing);
    DataClosed = false;  // of this listing's data connection, not an earlier one
    Finally dropStream([this] { ListingStream.reset(); });

    SendLine("TYPE A");
    ExpectClass(ReadReply(), 2);
    Finally dropData([this] {
        if (DataSocket != winsock::INVALID_SOCKET || DataWindow) CloseDataConnection();
    });
    if (Passive_) {
        ConnectPassiveData();
        SendLine(command);
        ExpectClass(ReadReply(), 1);
    } else {
        OpenActiveDataConnection(command);
    }
    SecureDataConnection();
    ReceiveData(-1);
    ListingStream->Finish();
    CloseDataConnection();
    ExpectClass(ReadReply(), 2);
    DirList_->TakeEntries(incoming);
    DirList_->ServerType = incoming.ServerType;
}

// PORT, then the listing command, then the server's connection; the
// listener is closed on every way out.
void TznFTP::OpenActiveDataConnection(const std::string& command) {
    CreateDataSocket();
    try {
        SendPort();
        SendLine(command);
        ExpectClass(ReadReply(), 1);
        AcceptDataConnection();
    } catch (...) {
        CloseListenerAfterFailure();
        throw;
    }
    CloseDataListener();
}

// The listening socket is bound to the local address of the control
// connection, not to every interface, so that it is reachable only where
// the server is.
void TznFTP::CreateDataSocket() {
    ListenSocket = WinsockInstance.socket(winsock::kAfInet, winsock::kSockStream, winsock::kIpprotoTcp);
    if (ListenSocket == winsock::INVALID_SOCKET) RaiseError(LastError());

    winsock::sockaddr_in local{};
    int length = sizeof local;
    bool ok = WinsockInstance.getsockname(SocketHandle(), reinterpret_cast<winsock::sockaddr*>(&local), &length) == 0;
    local.sin_port = WinsockInstance.htons(0);
    ok =
        ok && WinsockInstance.bind(ListenSocket, reinterpret_cast<const winsock::sockaddr*>(&local), sizeof local) == 0;
    ok = ok && WinsockInstance.listen(ListenSocket, 5) == 0;
    if (!ok) {
        const std::uint16_t code = LastError();
        WinsockInstance.closesocket(ListenSocket);
        ListenSocket = winsock::INVALID_SOCKET;
        RaiseError(code);
    }
}

// The listener is bound to the control connection's local address, so its
// own address is the one to announce.
void TznFTP::SendPort() {
    winsock::sockaddr_in listening{};
    int length = sizeof listening;
    if (WinsockInstance.getsockname(ListenSocket, reinterpret_cast<winsock::sockaddr*>(&listening), &length) != 0) {
        RaiseError(LastError());
    }
    const std::uint16_t port = WinsockInstance.htons(listening.sin_port);
    const auto* address = reinterpret_cast<const unsigned char*>(&listening.sin_addr);
    char text[64];
    std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d", address[0], address[1], address[2], address[3], port / 256,
                  port % 256);
    SendLine(std::string("PORT ") + text);
    ExpectClass(ReadReply(), 2);
}

// Takes a connection from the control connection's peer; any other comer is
// turned away at once, so nobody else can slip a listing in. False when no
// connection was waiting.
bool TznFTP::AcceptFromServer() {
    winsock::sockaddr_in peer{};
    int length = sizeof peer;
    const winsock::SOCKET s =
        WinsockInstance.accept(ListenSocket, reinterpret_cast<winsock::sockaddr*>(&peer), &length);
    if (s == winsock::INVALID_SOCKET) {
        const std::uint16_t code = LastError();
        if (code != winsock::WSAEWOULDBLOCK) RaiseError(code);
        return false;
    }
    if (peer.sin_addr != HostAddress()) {
        WinsockInstance.closesocket(s);
        return false;
    }
    DataSocket = s;
    return true;
}

void TznFTP::AcceptDataConnection() {
    // Registered for nothing, only to make accept non-blocking: the wait
    // then blocks in the event loop, woken when a connection comes.
    if (WinsockInstance.WSAAsyncSelect(ListenSocket, NotifyWindow(), WM_SOCKETEVENT, 0) == winsock::SOCKET_ERROR) {
        RaiseError(LastError());
    }
    TimeCounter().Start();
    WaitUntil([&] { return Stopped() || AcceptFromServer(); });
    TimeCounter().Stop();
    if (DataSocket == winsock::INVALID_SOCKET) {
        RaiseIfStopped(StopReasons::CancelOrTimeOut,
                       " (the server could not connect back" +
                           (ConnectBackAdvice_.empty() ? std::string() : "; " + ConnectBackAdvice_) + ")");
    }
    DataWindow = platform::CreateHiddenWindow(
        [this](platform::UINT msg, platform::WPARAM w, platform::LPARAM l) { return HandleDataMessage(msg, w, l); });
    if (WinsockInstance.WSAAsyncSelect(DataSocket, DataWindow, WM_SOCKETEVENT, winsock::FD_CLOSE) ==
        winsock::SOCKET_ERROR) {
        RaiseError(LastError());
    }
}

void TznFTP::CloseDataListener() {
    const winsock::SOCKET s = std::exchange(ListenSocket, winsock::INVALID_SOCKET);
    if (WinsockInstance.closesocket(s) == winsock::SOCKET_ERROR) RaiseError(LastError());
}

void TznFTP::CloseListenerAfterFailure() {
    if (ListenSocket == winsock::INVALID_SOCKET) return;
    WinsockInstance.closesocket(std::exchange(ListenSocket, winsock::INVALID_SOCKET));
}

platform::LRESULT TznFTP::HandleDataMessage(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
    if (msg != WM_SOCKETEVENT) return platform::DefWindowProc(DataWindow, msg, wParam, lParam);
    // The data connection's errors are its own: they must neither hide nor
    // clear one pending on the control connection.
    DataErrorCode = SelectError(lParam);
    if (DataErrorCode == 0 && SelectEvent(lParam) == winsock::FD_CLOSE) DataClosed = true;
    if (DataErrorCode == 0 && SelectEvent(lParam) == winsock::FD_CONNECT) DataConnected = true;
    return 0;
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
            ListingStream->Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
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
        done = n == 0 && (DataClosed || DataTls_);
        if (done || Stopped()) break;
        // Nothing now: block until data, the close, a tick or a cancel.
        if (n <= 0) platform::WaitForNextEvent();
    }
    TimeCounter().Stop();
    if (!done) RaiseIfStopped();
    if (DataTls_) CheckDataStreamEnd(*DataTls_);
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

void TznFTP::CloseDataConnection() {
    if (DataTls_) DataTls_->Shutdown();
    DataTls_.reset();
    if (DataWindow) platform::DestroyWindow(std::exchange(DataWindow, 0));
    if (DataSocket != winsock::INVALID_SOCKET) {
        WinsockInstance.closesocket(std::exchange(DataSocket, winsock::INVALID_SOCKET));
    }
}

}  // namespace zn
