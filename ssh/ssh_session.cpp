// SPDX-License-Identifier: MIT
#include "ssh/ssh_session.h"

#include "net/core/errors.h"
#include "platform/messages.h"

#include <QByteArray>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace zn {

// The address of the server, found on a thread of its own: getaddrinfo
// blocks, and the loop must not. The answer is posted back to the main
// thread, which alone writes into it, so nothing else is shared.
struct SshSession::Lookup {
    struct Address {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };
    bool done = false;
    std::string error;
    std::vector<Address> addresses;  // in the resolver's order
};

namespace {

void StartLibrary() {
    // libssh2_init is not safe to call twice at once; the program has one
    // thread that calls it.
    static const int kStarted = libssh2_init(0);
    if (kStarted != 0) throw ESocketError("the SSH library cannot start");
}

SshSession::Lookup LookUp(const std::string& host, std::uint16_t port) {
    SshSession::Lookup found;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (rc != 0 || !list) found.error = "cannot find the server " + host + ": " + gai_strerror(rc);
    for (const addrinfo* at = rc == 0 ? list : nullptr; at; at = at->ai_next) {
        if (at->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SshSession::Lookup::Address address;
        std::memcpy(&address.storage, at->ai_addr, at->ai_addrlen);
        address.length = at->ai_addrlen;
        found.addresses.push_back(address);
    }
    if (list) freeaddrinfo(list);
    return found;
}

// The names ssh gives the key types, and the bits of the known-hosts files.
std::pair<const char*, int> KeyTypeNames(int type) {
    switch (type) {
        case LIBSSH2_HOSTKEY_TYPE_RSA: return {"ssh-rsa", LIBSSH2_KNOWNHOST_KEY_SSHRSA};
        case LIBSSH2_HOSTKEY_TYPE_DSS: return {"ssh-dss", LIBSSH2_KNOWNHOST_KEY_SSHDSS};
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_256: return {"ecdsa-sha2-nistp256", LIBSSH2_KNOWNHOST_KEY_ECDSA_256};
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_384: return {"ecdsa-sha2-nistp384", LIBSSH2_KNOWNHOST_KEY_ECDSA_384};
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_521: return {"ecdsa-sha2-nistp521", LIBSSH2_KNOWNHOST_KEY_ECDSA_521};
        case LIBSSH2_HOSTKEY_TYPE_ED25519: return {"ssh-ed25519", LIBSSH2_KNOWNHOST_KEY_ED25519};
        default: return {"unknown", LIBSSH2_KNOWNHOST_KEY_UNKNOWN};
    }
}

// Sets and resets the time-out around one wait, however it ends.
class CountedWait {
public:
    explicit CountedWait(TTimeCounter& counter) : counter_(counter) {
        counter_.SetTimedOut(false);
        counter_.Start();
    }
    ~CountedWait() { counter_.Stop(); }
    CountedWait(const CountedWait&) = delete;
    CountedWait& operator=(const CountedWait&) = delete;

private:
    TTimeCounter& counter_;
};

}  // namespace

// The session exists before the connection: the known-hosts files are read
// through it, to choose the host keys the handshake asks for.
SshSession::SshSession() {
    StartLibrary();
    session_ = libssh2_session_init();
    if (!session_) throw ESocketError("the SSH library cannot make a session");
    libssh2_session_set_blocking(session_, 0);
}

SshSession::~SshSession() { Close(); }

std::shared_ptr<SshSession::Lookup> SshSession::Resolve(const std::string& host, std::uint16_t port) {
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host, port] {
        Lookup found = LookUp(host, port);
        platform::PostCallback([lookup, found] {
            *lookup = found;
            lookup->done = true;
        });
    }).detach();
    return lookup;
}

void SshSession::Connect(const std::string& host, std::uint16_t port) {
    server_ = host + ":" + std::to_string(port);
    canceled_ = false;
    const std::shared_ptr<Lookup> lookup = Resolve(host, port);
    WaitUntil([&lookup] { return lookup->done; }, "finding " + host);
    if (!lookup->error.empty()) throw ESocketError(lookup->error);
    // Each address in turn, as the FTP connection tries them: a name may
    // give an IPv6 address first where the server listens on IPv4 only.
    std::string refused = "cannot find the server " + host;
    for (const Lookup::Address& address : lookup->addresses) {
        refused = OpenSocket(reinterpret_cast<const sockaddr*>(&address.storage), address.length, server_);
        if (refused.empty()) break;
    }
    if (!refused.empty()) throw ESocketError(refused);
    OrderHostKeys();
    if (Await([this] { return libssh2_session_handshake(session_, socket_); }) != 0) {
        throw ESocketError("SSH handshake with " + server_ + " failed: " + LastError());
    }
    TakeHostKey();
}

std::string SshSession::OpenSocket(const sockaddr* address, socklen_t length, const std::string& server) {
    socket_ = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket_ < 0) return std::string("cannot make a socket: ") + std::strerror(errno);
    // libssh2 writes a packet at a time, and SSH often has two to send
    // before it waits for an answer (the key exchange, the logon, a batch
    // of requests behind one not yet acknowledged): with Nagle's algorithm
    // the second waits for the server's delayed acknowledgement, some 40 ms
    // each time, most of what a logon takes on a near server.
    const int noDelay = 1;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    readable_ = std::make_unique<QSocketNotifier>(socket_, QSocketNotifier::Read);
    writable_ = std::make_unique<QSocketNotifier>(socket_, QSocketNotifier::Write);
    readable_->setEnabled(false);
    writable_->setEnabled(false);
    const auto notified = platform::Guarded([this] { Notified(); });
    QObject::connect(readable_.get(), &QSocketNotifier::activated, notified);
    QObject::connect(writable_.get(), &QSocketNotifier::activated, notified);
    int error = 0;
    if (::connect(socket_, address, length) != 0) {
        error = errno;
    }
    if (error == EINPROGRESS) {
        ready_ = false;
        writable_->setEnabled(true);
        WaitUntil([this] { return ready_; }, "connecting to " + server);
        socklen_t size = sizeof error;
        getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size);
    }
    if (error == 0) return {};
    readable_.reset();
    writable_.reset();
    ::close(std::exchange(socket_, -1));
    return "cannot connect to " + server + ": " + std::strerror(error);
}

void SshSession::OrderHostKeys() {
    if (preferredHostKeys_.empty()) return;
    const char** supported = nullptr;
    const int count = libssh2_session_supported_algs(session_, LIBSSH2_METHOD_HOSTKEY, &supported);
    if (count <= 0) return;
    std::vector<std::string> all(supported, supported + count);
    libssh2_free(session_, static_cast<void*>(supported));
    std::string order;
    for (const std::string& algorithm : preferredHostKeys_) {
        if (std::find(all.begin(), all.end(), algorithm) != all.end()) order += algorithm + ",";
    }
    for (const std::string& algorithm : all) {
        if (std::find(preferredHostKeys_.begin(), preferredHostKeys_.end(), algorithm) == preferredHostKeys_.end())
            order += algorithm + ",";
    }
    order.pop_back();
    // Refused only for names libssh2 does not know, which were left out.
    libssh2_session_method_pref(session_, LIBSSH2_METHOD_HOSTKEY, order.c_str());
}

void SshSession::TakeHostKey() {
    std::size_t length = 0;
    int type = 0;
    const char* key = libssh2_session_hostkey(session_, &length, &type);
    const char* sha256 = libssh2_hostkey_hash(session_, LIBSSH2_HOSTKEY_HASH_SHA256);
    if (!key || !sha256) throw ESocketError("the server " + server_ + " showed no host key");
    const auto [name, bits] = KeyTypeNames(type);
    const QByteArray digest = QByteArray(sha256, 32).toBase64(QByteArray::OmitTrailingEquals);
    hostKey_ = {name, std::string(key, length), bits, "SHA256:" + digest.toStdString()};
}

void SshSession::Notified() {
    // Level-triggered: a notifier left on would fire on every round of the
    // loop until libssh2 reads, so each fires once per wait.
    readable_->setEnabled(false);
    writable_->setEnabled(false);
    ready_ = true;
}

void SshSession::WaitUntil(const std::function<bool()>& done, const std::string& what) {
    const CountedWait counted(counter_);
    for (;;) {
        if (canceled_) throw ECanceledError();
        if (done()) return;
        if (counter_.TimedOut()) throw ETimedOutError(" (" + what + ")");
        if (whileWaiting_) {
            whileWaiting_();
            // The work may have ended this wait (a Cancel).
            if (canceled_) continue;
        }
        platform::WaitForNextEvent();
    }
}

long SshSession::Await(const std::function<long()>& call) {
    for (;;) {
        const long rc = call();
        if (rc != LIBSSH2_ERROR_EAGAIN) return rc;
        WaitForSocket();
    }
}

void SshSession::Arm() {
    const int directions = session_ ? libssh2_session_block_directions(session_) : 0;
    ready_ = false;
    const bool inbound = (directions & LIBSSH2_SESSION_BLOCK_INBOUND) != 0 || directions == 0;
    if (inbound) {
        // What comes is acknowledged at once, not up to 40 ms later: sshd
        // sends its small packets with Nagle's algorithm on, so the second
        // of two waits until the first is acknowledged (after the logon,
        // the channel's confirmation behind the host keys it offers; at the
        // end of a walk, the last replies). The kernel leaves this mode on
        // its own, hence before every wait.
        const int quickAck = 1;
        setsockopt(socket_, IPPROTO_TCP, TCP_QUICKACK, &quickAck, sizeof quickAck);
    }
    // Nothing said: libssh2 waits for the server.
    readable_->setEnabled(inbound);
    writable_->setEnabled((directions & LIBSSH2_SESSION_BLOCK_OUTBOUND) != 0);
}

void SshSession::WaitForSocket() {
    Arm();
    WaitUntil([this] { return ready_; }, "waiting for " + server_);
}

void SshSession::WaitForAny(const std::vector<SshSession*>& sessions) {
    for (SshSession* session : sessions) {
        session->Arm();
        if (session->counter_.Running()) continue;
        session->counter_.SetTimedOut(false);
        session->counter_.Start();
    }
    for (;;) {
        for (SshSession* session : sessions) {
            if (session->canceled_) throw ECanceledError();
            if (session->ready_ || session->counter_.TimedOut()) return;
        }
        platform::WaitForNextEvent();
    }
}

void SshSession::ThrowIfTimedOut() const {
    if (counter_.TimedOut()) throw ETimedOutError(" (waiting for " + server_ + ")");
}

std::string SshSession::LastError() const {
    char* text = nullptr;
    int length = 0;
    if (!session_) return "no session";
    libssh2_session_last_error(session_, &text, &length, 0);
    return text ? std::string(text, static_cast<std::size_t>(length)) : std::string("unknown error");
}

void SshSession::Close() {
    if (!session_) return;
    // Once logged on, the goodbye is waited for as any call; before the
    // logon, or after a Cancel, it is not sent at all.
    if (authenticated_ && !canceled_ && socket_ >= 0) {
        try {
            Await([this] { return static_cast<long>(libssh2_session_disconnect(session_, "done")); });
        } catch (const platform::Exception&) {
        }
    }
    // In its non-blocking mode libssh2 frees nothing while a channel still
    // has something to send: the socket is swapped for /dev/null, where
    // every send fails at once (no SIGPIPE, no other descriptor that could
    // take its number), so that the frees go through.
    if (socket_ >= 0) {
        readable_.reset();
        writable_.reset();
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nowhere >= 0) {
            ::dup2(nowhere, socket_);
            ::close(nowhere);
        }
    }
    int freed = LIBSSH2_ERROR_EAGAIN;
    for (int attempt = 0; attempt < 100 && freed == LIBSSH2_ERROR_EAGAIN; ++attempt) {
        freed = libssh2_session_free(session_);
    }
    session_ = nullptr;
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

}  // namespace zn
