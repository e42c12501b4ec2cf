// SPDX-License-Identifier: MIT
// TLS over the sockets binding with OpenSSL's memory BIOs: OpenSSL never
// touches the socket. Pull moves what the socket holds into OpenSSL, Push
// moves what OpenSSL wrote out to the socket, and neither waits.

#include "net/tls_channel.h"

#include "net/core/errors.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace zn {
namespace {

constexpr int kChunk = 16 * 1024;
// The most one Pull takes from the socket, so that a fast server cannot
// make a read hold more than this much at a time.
constexpr int kPullMax = 256 * 1024;

std::string OpenSslErrors() {
    std::string text;
    while (const unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        if (!text.empty()) text += "; ";
        // "error:0A000086:SSL routines::certificate verify failed": the
        // part after the last colon is what a user can read.
        const char* reason = std::strrchr(line, ':');
        text += reason && reason[1] ? reason + 1 : line;
    }
    return text;
}

// What `print` writes, as text; empty when no buffer can be had.
template <typename Print>
std::string PrintedText(Print print) {
    const OpenSslPtr<BIO> bio(BIO_new(BIO_s_mem()));
    if (!bio) return {};
    print(bio.get());
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data ? data : "", size > 0 ? static_cast<std::size_t>(size) : 0);
}

std::string NameText(const X509_NAME* name) {
    return PrintedText([name](BIO* bio) { X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB); });
}

std::string TimeText(const ASN1_TIME* time) {
    return PrintedText([time](BIO* bio) { ASN1_TIME_print_ex(bio, time, ASN1_DTFLGS_ISO8601); });
}

std::string HexFingerprint(const unsigned char* digest, unsigned length) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text = "SHA256:";
    for (unsigned i = 0; i < length; ++i) {
        if (i) text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

// A host that is an address, as the certificate's address entries are
// compared with it: IPv4 only in the strict dotted form (the caller has
// already turned the short and numeric forms a resolver takes, "127.1" and
// "2130706433", into it), IPv6 bare or in the brackets of a server field.
// Empty for a name.
std::string AddressLiteral(const std::string& host) {
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return host;
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    const std::string bare = bracketed ? host.substr(1, host.size() - 2) : host;
    in6_addr address6{};
    return inet_pton(AF_INET6, bare.c_str(), &address6) == 1 ? bare : std::string();
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The system's trust store takes tens of milliseconds to load (seconds in
// a sanitizer build), so it is loaded once and shared by every connection.
// It is loaded again when SSL_CERT_FILE or SSL_CERT_DIR have changed.
X509_STORE* SharedTrustStore() {
    struct Cache {
        std::string file, dir;
        std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store{nullptr, X509_STORE_free};
    };
    static Cache cache;
    std::string file = EnvironmentValue("SSL_CERT_FILE"), dir = EnvironmentValue("SSL_CERT_DIR");
    if (!cache.store || file != cache.file || dir != cache.dir) {
        cache.store.reset(X509_STORE_new());
        if (cache.store) X509_STORE_set_default_paths(cache.store.get());
        cache.file = std::move(file);
        cache.dir = std::move(dir);
    }
    return cache.store.get();
}

}  // namespace

void OpenSslFree::operator()(SSL_CTX* ctx) const noexcept { SSL_CTX_free(ctx); }
void OpenSslFree::operator()(SSL* ssl) const noexcept { SSL_free(ssl); }
void OpenSslFree::operator()(BIO* bio) const noexcept { BIO_free(bio); }

std::string NormalizeFingerprint(const std::string& typed) {
    std::string_view rest = typed;
    if (rest.size() >= 7 && std::equal(rest.begin(), rest.begin() + 7, "SHA256:", [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == b;
        })) {
        rest.remove_prefix(7);
    }
    std::string hex;
    for (char c : rest) {
        if (c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (hex.size() != 64) return {};
    std::string text = "SHA256:";
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (i > 0) text += ':';
        text.append(hex, i, 2);
    }
    return text;
}

TlsContext::TlsContext() : ctx_(SSL_CTX_new(TLS_client_method())) {
    if (!ctx_) throw ESocketError("TLS cannot start: " + OpenSslErrors());
    SSL_CTX* const ctx = ctx_.get();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // The system's store; SSL_CERT_FILE and SSL_CERT_DIR replace it, as
    // they do for OpenSSL's tools.
    if (X509_STORE* store = SharedTrustStore()) SSL_CTX_set1_cert_store(ctx, store);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_set_app_data(ctx, this);
    SSL_CTX_sess_set_new_cb(ctx, &TlsContext::KeepSession);
    ERR_clear_error();
}

// Called by OpenSSL with a new session (a TLS 1.3 ticket, or a TLS 1.2
// session after its handshake); returning 1 keeps OpenSSL's reference.
int TlsContext::KeepSession(SSL* ssl, SSL_SESSION* session) {
    auto* self = static_cast<TlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    self->latest_ = std::shared_ptr<SSL_SESSION>(session, SSL_SESSION_free);
    return 1;
}

TlsChannel::TlsChannel(std::shared_ptr<TlsContext> context, winsock::SOCKET socket, const std::string& host,
                       SSL_SESSION* resume)
    : context_(std::move(context)), socket_(socket), ssl_(SSL_new(context_->Handle())) {
    OpenSslPtr<BIO> fromNet(BIO_new(BIO_s_mem())), toNet(BIO_new(BIO_s_mem()));
    if (!ssl_ || !fromNet || !toNet) throw ESocketError("TLS cannot start: " + OpenSslErrors());
    // The connection takes both buffers over.
    fromNet_ = fromNet.release();
    toNet_ = toNet.release();
    SSL* const ssl = ssl_.get();
    SSL_set_bio(ssl, fromNet_, toNet_);
    SSL_set_connect_state(ssl);
    // The chain and the name are checked during the handshake, but a
    // failure does not end it: the caller decides, after seeing the
    // certificate, whether a pinned fingerprint vouches for it instead.
    SSL_set_verify(ssl, SSL_VERIFY_NONE, nullptr);
    // A check that cannot be set up would let any name pass: the
    // certificate then counts as untrusted.
    bool checked = true;
    if (const std::string address = AddressLiteral(host); !address.empty()) {
        checked = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), address.c_str()) == 1;
    } else if (!host.empty()) {
        checked = SSL_set1_host(ssl, host.c_str()) == 1;
        SSL_set_tlsext_host_name(ssl, host.c_str());
    } else {
        checked = false;
    }
    if (!checked) nameProblem_ = "the name \"" + host + "\" cannot be checked against it";
    ERR_clear_error();
    if (resume) SSL_set_session(ssl, resume);
}

TlsChannel::Io TlsChannel::Fail(const std::string& what) {
    failed_ = true;
    const std::string details = OpenSslErrors();
    error_ = details.empty() ? what : what + " (" + details + ")";
    return Io::Failed;
}

// Takes what the socket holds, up to kPullMax. False on a socket error.
bool TlsChannel::Pull() {
    char chunk[kChunk];
    int taken = 0;
    while (!eof_ && taken < kPullMax) {
        const int n = WinsockInstance.recv(socket_, chunk, sizeof chunk, 0);
        if (n > 0) {
            BIO_write(fromNet_, chunk, n);
            taken += n;
        } else if (n == 0) {
            eof_ = true;
            // An empty buffer now reads as the end of the stream.
            BIO_set_mem_eof_return(fromNet_, 0);
        } else {
            const int code = WinsockInstance.WSAGetLastError();
            if (code == winsock::WSAEWOULDBLOCK) break;
            socketError_ = code;
            return false;
        }
    }
    return true;
}

// Sends what OpenSSL has written, as far as the socket takes it. False on a
// socket error.
bool TlsChannel::Push() {
    char chunk[kChunk];
    for (int n; (n = BIO_read(toNet_, chunk, sizeof chunk)) > 0;) outbox_.append(chunk, static_cast<std::size_t>(n));
    while (!outbox_.empty()) {
        const int n = WinsockInstance.send(socket_, outbox_.data(), static_cast<int>(outbox_.size()), 0);
        if (n > 0) {
            outbox_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        const int code = WinsockInstance.WSAGetLastError();
        if (code == winsock::WSAEWOULDBLOCK) break;
        socketError_ = code;
        return false;
    }
    return true;
}

TlsChannel::Io TlsChannel::Handshake() {
    if (failed_) return Io::Failed;
    if (established_) return Io::Ok;
    if (!Pull()) return Fail("The connection failed during the TLS handshake");
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl_.get());
    const int reason = SSL_get_error(ssl_.get(), result);
    if (!Push()) return Fail("The connection failed during the TLS handshake");
    if (result == 1) {
        established_ = true;
        return Io::Ok;
    }
    const bool closed =
        reason == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
    if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE || closed) {
        if (eof_) {
            ERR_clear_error();
            return Fail("The server closed the connection during the TLS handshake");
        }
        return Io::WouldBlock;
    }
    return Fail("The TLS handshake failed");
}

// Decrypts everything OpenSSL holds into plain_.
void TlsChannel::Decrypt() {
    if (plainAt_ == plain_.size()) {
        plain_.clear();
        plainAt_ = 0;
    }
    char chunk[kChunk];
    for (;;) {
        std::size_t got = 0;
        ERR_clear_error();
        const int result = SSL_read_ex(ssl_.get(), chunk, sizeof chunk, &got);
        if (result == 1) {
            plain_.append(chunk, got);
            continue;
        }
        const int reason = SSL_get_error(ssl_.get(), result);
        if (reason == SSL_ERROR_ZERO_RETURN) {
            closeNotify_ = true;
        } else if (eof_ && reason == SSL_ERROR_SSL &&
                   ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
            // A bare close, without close_notify: still the end of the
            // stream (many servers end data connections so), but the owner
            // can tell it from a close_notify (BareClose).
            ERR_clear_error();
        } else if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE) {
            Fail("The TLS connection failed");
        }
        return;
    }
}

TlsChannel::Io TlsChannel::Read(char* buffer, int capacity, bool peek, int& count) {
    count = 0;
    if (failed_) return Io::Failed;
    // A pull stops at kPullMax; the next one goes on while no whole record
    // has come out of it yet.
    while (!InputPending() && !PeerFinished()) {
        const std::size_t before = BIO_ctrl_pending(fromNet_);
        if (!Pull()) return Fail("The TLS connection failed");
        const bool pulled = BIO_ctrl_pending(fromNet_) != before || eof_;
        Decrypt();
        if (failed_) return Io::Failed;
        if (!Push()) return Fail("The TLS connection failed");
        if (!pulled) break;
    }
    if (InputPending()) {
        count = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(capacity), plain_.size() - plainAt_));
        std::memcpy(buffer, plain_.data() + plainAt_, static_cast<std::size_t>(count));
        if (!peek) plainAt_ += static_cast<std::size_t>(count);
        return Io::Ok;
    }
    return PeerFinished() ? Io::Closed : Io::WouldBlock;
}

bool TlsChannel::Poll() {
    char byte;
    int count = 0;
    return Read(&byte, 1, true, count) != Io::WouldBlock;
}

TlsChannel::Io TlsChannel::Write(const char* data, int size) {
    if (failed_) return Io::Failed;
    std::size_t written = 0;
    ERR_clear_error();
    if (size > 0 && SSL_write_ex(ssl_.get(), data, static_cast<std::size_t>(size), &written) != 1) {
        return Fail("The TLS connection failed");
    }
    return Flush();
}

TlsChannel::Io TlsChannel::Flush() {
    if (failed_) return Io::Failed;
    if (!Push()) return Fail("The TLS connection failed");
    return OutputPending() ? Io::WouldBlock : Io::Ok;
}

void TlsChannel::Shutdown() {
    if (failed_ || !established_) return;
    SSL_shutdown(ssl_.get());
    Push();
    ERR_clear_error();
}

std::string TlsChannel::Fingerprint() const {
    X509* certificate = SSL_get0_peer_certificate(ssl_.get());
    if (!certificate) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    X509_digest(certificate, EVP_sha256(), digest, &length);
    return HexFingerprint(digest, length);
}

TlsCertificate TlsChannel::Certificate() const {
    TlsCertificate result;
    X509* certificate = SSL_get0_peer_certificate(ssl_.get());
    if (!certificate) {
        result.Problem = "the server sent no certificate";
        return result;
    }
    result.Fingerprint = Fingerprint();
    result.Subject = NameText(X509_get_subject_name(certificate));
    result.Issuer = NameText(X509_get_issuer_name(certificate));
    result.ValidFrom = TimeText(X509_get0_notBefore(certificate));
    result.ValidTo = TimeText(X509_get0_notAfter(certificate));
    const long verdict = SSL_get_verify_result(ssl_.get());
    result.Verified = verdict == X509_V_OK && nameProblem_.empty();
    if (verdict != X509_V_OK) {
        result.Problem = X509_verify_cert_error_string(verdict);
    } else {
        result.Problem = nameProblem_;
    }
    return result;
}

std::string TlsChannel::Version() const {
    std::string name = SSL_get_version(ssl_.get());  // "TLSv1.3"
    if (name.rfind("TLSv", 0) == 0) name = "TLS " + name.substr(4);
    return name;
}

}  // namespace zn
