// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include <openssl/types.h>

// Declared in <openssl/ssl.h>, which this header keeps away from its users.
using SSL_SESSION = struct ssl_session_st;

#include "net/core/winsock.h"

namespace zn {

// Frees what OpenSSL made, each kind with its own function (defined beside
// <openssl/ssl.h>, which this header keeps away), so that every handle has
// one owner and every way out frees it.
struct OpenSslFree {
    void operator()(SSL_CTX* ctx) const noexcept;
    void operator()(SSL* ssl) const noexcept;
    void operator()(BIO* bio) const noexcept;
};
template <typename T>
using OpenSslPtr = std::unique_ptr<T, OpenSslFree>;

// What the server's certificate showed at the handshake.
struct TlsCertificate {
    std::string Fingerprint;  // "SHA256:" and the digest's bytes in hex, colon-separated
    std::string Subject;
    std::string Issuer;
    std::string ValidFrom;
    std::string ValidTo;
    // The chain leads to the trust store and the certificate names the host
    // typed; Problem says why not.
    bool Verified = false;
    std::string Problem;
};

// "SHA256:AB:CD:..." from a fingerprint as a user may type it: in either
// case, with or without the "SHA256:" prefix and the colons. Empty when it
// is not 32 bytes of hex.
std::string NormalizeFingerprint(const std::string& typed);

// The client settings every connection of one session shares: the system's
// trust store (or the file in SSL_CERT_FILE), TLS 1.2 at least, and the
// session cache that lets data connections resume the control connection's
// session.
class TlsContext {
public:
    TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;
    SSL_CTX* Handle() const { return ctx_.get(); }
    // The newest session any connection of this context was given, to
    // resume on the next data connection: with TLS 1.3 a server may take
    // each ticket only once, and every resumed connection brings new ones.
    std::shared_ptr<SSL_SESSION> LatestSession() const { return latest_; }

private:
    static int KeepSession(SSL* ssl, SSL_SESSION* session);

    OpenSslPtr<SSL_CTX> ctx_;
    std::shared_ptr<SSL_SESSION> latest_;
};

// The client side of TLS on an open, non-blocking socket. The encrypted
// bytes pass through memory buffers that this class fills and empties with
// the socket's own recv and send, so it never waits: the caller waits in its
// event loop, woken by the socket, and calls again. The decrypted bytes are
// kept here until read, so the caller must also ask InputPending() before it
// waits for the socket: what is here will not wake it.
class TlsChannel {
public:
    enum class Io { Ok, WouldBlock, Closed, Failed };

    // `host` is the name or dotted address the certificate must name;
    // `resume`, when set, is the session to resume (a data connection
    // resuming its control connection's).
    TlsChannel(std::shared_ptr<TlsContext> context, winsock::SOCKET socket, const std::string& host,
               SSL_SESSION* resume = nullptr);
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // One step of the handshake with what the socket holds now: Ok when it
    // is complete, WouldBlock when it needs the server's next bytes.
    Io Handshake();
    // Up to `capacity` decrypted bytes into `buffer`, `count` set on Ok;
    // with `peek` they stay to be read again. Closed once the peer has ended
    // the stream and nothing is left.
    Io Read(char* buffer, int capacity, bool peek, int& count);
    // Encrypts all of `data` and sends what the socket takes now; the rest
    // goes out with later calls (Flush).
    Io Write(const char* data, int size);
    Io Flush();
    bool OutputPending() const { return !outbox_.empty(); }
    bool InputPending() const { return plainAt_ < plain_.size(); }
    // Takes what the socket holds when nothing decrypted is waiting: true
    // when a read would not block (data, the end, or a failure to report).
    // A waiter must ask this rather than rely on the socket's notification,
    // which may have come for bytes that an earlier read left in the socket.
    bool Poll();
    // The peer sent close_notify or closed its end.
    bool PeerFinished() const { return closeNotify_ || eof_; }
    // The peer closed its end without sending close_notify first: the
    // stream may have been cut by someone on the path.
    bool BareClose() const { return eof_ && !closeNotify_; }
    // Sends close_notify, as far as the socket takes it without waiting.
    void Shutdown();

    // Why the last call failed.
    const std::string& Error() const { return error_; }
    // A socket error behind the failure, 0 when it was TLS's own.
    int SocketError() const { return socketError_; }
    TlsCertificate Certificate() const;
    std::string Fingerprint() const;  // of the peer's certificate, empty without one
    std::string Version() const;      // "TLS 1.3"

private:
    bool Pull();
    bool Push();
    void Decrypt();
    Io Fail(const std::string& what);

    std::shared_ptr<TlsContext> context_;
    winsock::SOCKET socket_;
    OpenSslPtr<SSL> ssl_;
    BIO* fromNet_ = nullptr;  // owned by ssl_
    BIO* toNet_ = nullptr;    // owned by ssl_
    std::string outbox_;      // encrypted, not yet taken by the socket
    std::string plain_;       // decrypted, not yet read
    std::size_t plainAt_ = 0;
    bool eof_ = false;
    bool closeNotify_ = false;
    bool failed_ = false;
    bool established_ = false;
    int socketError_ = 0;
    std::string error_;
    std::string nameProblem_;  // why the name or address cannot be checked
};

}  // namespace zn
