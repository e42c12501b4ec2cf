// SPDX-License-Identifier: MIT
#include "ftp/client/data_connection.h"

#include "net/socket.h"

#include <utility>

namespace zn {
namespace {

std::uint16_t LastError() { return static_cast<std::uint16_t>(WinsockInstance.WSAGetLastError()); }

void CloseSocket(winsock::SOCKET& s) {
    if (s != winsock::INVALID_SOCKET) WinsockInstance.closesocket(std::exchange(s, winsock::INVALID_SOCKET));
}

}  // namespace

TznDataConnection::~TznDataConnection() { Close(); }

std::uint16_t TznDataConnection::Listen(SocketAddress local) {
    Listener_ = WinsockInstance.socket(local.Family(), winsock::kSockStream, winsock::kIpprotoTcp);
    if (Listener_ == winsock::INVALID_SOCKET) return LastError();
    SetAddressPort(local, 0);
    const bool ok = WinsockInstance.bind(Listener_, local.Get(), local.Length) == 0 &&
                    WinsockInstance.listen(Listener_, 5) == 0 &&
                    // Registered for nothing, only to make accept
                    // non-blocking: the client's wait then blocks in the
                    // event loop, woken when a connection comes.
                    WinsockInstance.WSAAsyncSelect(Listener_, Window(), WM_SOCKETEVENT, 0) == 0;
    if (ok) return 0;
    const std::uint16_t code = LastError();
    CloseSocket(Listener_);
    return code;
}

std::uint16_t TznDataConnection::ListeningAddress(SocketAddress& address) const {
    winsock::sockaddr_storage storage{};
    int length = sizeof storage;
    if (WinsockInstance.getsockname(Listener_, reinterpret_cast<winsock::sockaddr*>(&storage), &length) != 0) {
        return LastError();
    }
    address = CopySocketAddress(reinterpret_cast<const winsock::sockaddr*>(&storage), length);
    return 0;
}

bool TznDataConnection::Accept(const std::string& peer, std::uint16_t& error) {
    winsock::sockaddr_storage from{};
    int length = sizeof from;
    winsock::SOCKET s = WinsockInstance.accept(Listener_, reinterpret_cast<winsock::sockaddr*>(&from), &length);
    if (s == winsock::INVALID_SOCKET) {
        const std::uint16_t code = LastError();
        if (code != winsock::WSAEWOULDBLOCK) error = code;
        return false;
    }
    if (AddressText(CopySocketAddress(reinterpret_cast<const winsock::sockaddr*>(&from), length)) != peer) {
        CloseSocket(s);
        return false;
    }
    Socket_ = s;
    Connected_ = true;
    CloseSocket(Listener_);
    error = Watch(winsock::FD_CLOSE);
    return true;
}

std::uint16_t TznDataConnection::Connect(const SocketAddress& server) {
    Socket_ = WinsockInstance.socket(server.Family(), winsock::kSockStream, winsock::kIpprotoTcp);
    if (Socket_ == winsock::INVALID_SOCKET) return LastError();
    if (const std::uint16_t code = Watch(winsock::FD_CONNECT | winsock::FD_CLOSE)) return code;
    if (WinsockInstance.connect(Socket_, server.Get(), server.Length) == 0) return 0;
    const std::uint16_t code = LastError();
    return code == winsock::WSAEWOULDBLOCK ? 0 : code;
}

TlsChannel& TznDataConnection::StartTls(std::shared_ptr<TlsContext> context, const std::string& host,
                                        SSL_SESSION* resume) {
    Tls_ = std::make_unique<TlsChannel>(std::move(context), Socket_, host, resume);
    return *Tls_;
}

int TznDataConnection::Receive(char* buffer, int size, std::uint16_t& error) {
    const int n = WinsockInstance.recv(Socket_, buffer, size, 0);
    if (n == winsock::SOCKET_ERROR) {
        const std::uint16_t code = LastError();
        if (code != winsock::WSAEWOULDBLOCK) error = code;
    }
    return n;
}

void TznDataConnection::Close() {
    if (Tls_) Tls_->Shutdown();
    Tls_.reset();
    if (Window_) platform::DestroyWindow(std::exchange(Window_, 0));
    CloseSocket(Socket_);
    CloseSocket(Listener_);
}

platform::HWND TznDataConnection::Window() {
    if (!Window_) {
        Window_ = platform::CreateHiddenWindow(
            [this](platform::UINT msg, platform::WPARAM w, platform::LPARAM l) { return HandleMessage(msg, w, l); });
    }
    return Window_;
}

std::uint16_t TznDataConnection::Watch(long events) {
    if (WinsockInstance.WSAAsyncSelect(Socket_, Window(), WM_SOCKETEVENT, events) == 0) return 0;
    return LastError();
}

platform::LRESULT TznDataConnection::HandleMessage(platform::UINT msg, platform::WPARAM wParam,
                                                   platform::LPARAM lParam) {
    if (msg != WM_SOCKETEVENT) return platform::DefWindowProc(Window_, msg, wParam, lParam);
    Error_ = SelectError(lParam);
    if (Error_ == 0 && SelectEvent(lParam) == winsock::FD_CLOSE) Closed_ = true;
    if (Error_ == 0 && SelectEvent(lParam) == winsock::FD_CONNECT) Connected_ = true;
    return 0;
}

}  // namespace zn
