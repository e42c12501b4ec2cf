// SPDX-License-Identifier: MIT
#pragma once

#include <sys/socket.h>

#include <libssh2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "net/core/time_counter.h"

class QSocketNotifier;

namespace zn {

// The key a server proved itself with during the handshake.
struct SshHostKey {
    std::string Type;         // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa"...
    std::string Blob;         // as the server sent it
    int KnownHostType = 0;    // its LIBSSH2_KNOWNHOST_KEY_* bits
    std::string Fingerprint;  // "SHA256:" and the digest in base64, as ssh shows it
};

// One SSH connection over libssh2 in its non-blocking mode, on the main
// thread: every call that would block waits in the event loop for the
// socket, watched by socket notifiers, in the direction libssh2 says it
// waits on. So Cancel and the time-out end any wait, and the window keeps
// painting, as with the FTP client.
//
// The time-out counts the seconds without any progress of one wait, as
// the FTP client's does. A Cancel ends the wait running, or the next.
class SshSession {
public:
    SshSession();
    ~SshSession();
    SshSession(const SshSession&) = delete;
    SshSession& operator=(const SshSession&) = delete;

    void SetTimeOut(int seconds) { counter_.SetTimeOut(seconds); }
    // Host key algorithms the handshake asks for before the others, best
    // first; those libssh2 lacks are passed over.
    void PreferHostKeys(std::vector<std::string> algorithms) { preferredHostKeys_ = std::move(algorithms); }
    // Finds `host`, connects to `port` and makes the SSH handshake, once.
    // Throws ESocketError, ETimedOutError or ECanceledError.
    void Connect(const std::string& host, std::uint16_t port);
    const SshHostKey& HostKey() const { return hostKey_; }

    // The logon methods the server offers `user` ("publickey,password");
    // empty when it let the user in without any.
    std::string Methods(const std::string& user);
    // Each is false when the server refused that way in; other failures
    // throw.
    bool LogOnWithPassword(const std::string& user, const std::string& password);
    // `passphrase` opens a key kept under one; "" for a key without.
    bool LogOnWithKeyFile(const std::string& user, const std::string& privateKeyFile, const std::string& passphrase);
    // Keyboard-interactive: the server's prompts answered with `password`,
    // once; a server that asks again is refused.
    bool LogOnWithKeyboard(const std::string& user, const std::string& password);
    bool LogOnWithAgent(const std::string& user);
    bool LoggedOn() const;

    LIBSSH2_SESSION* Handle() const { return session_; }
    // Calls `call` again each time it returns LIBSSH2_ERROR_EAGAIN, waiting
    // for the socket in between; returns what it returned last.
    long Await(const std::function<long()>& call);
    // Waits until the socket is ready the way libssh2 last waited on it.
    void WaitForSocket();
    // Waits until any of `sessions` is ready the way libssh2 last waited on
    // it, or its time-out ends: the walk's connections all at once. Each
    // one's time-out runs from its first wait until it Progressed, however
    // many waits that spans, so one that stalls times out (TimedOut) while
    // the others keep working; a Cancel of any ends the wait.
    static void WaitForAny(const std::vector<SshSession*>& sessions);
    // Something came that was waited for: the next wait counts its time-out
    // afresh.
    void Progressed() { counter_.Stop(); }
    // Whether this session's own time-out ended the last WaitForAny; the
    // same as the exception its own wait would have thrown.
    bool TimedOut() const { return counter_.TimedOut(); }
    void ThrowIfTimedOut() const;
    // Turns on the notifiers for the way libssh2 last waited on the socket,
    // so that the next wait, any session's, ends when this one is ready.
    void Arm();
    // Work that goes on while this session waits, before each round of
    // the wait: a walk's other connections keep listing while this one
    // logs on. It must not wait itself.
    void WhileWaiting(std::function<void()> work) { whileWaiting_ = std::move(work); }
    // libssh2's last error, in words.
    std::string LastError() const;

    void Cancel() { canceled_ = true; }
    bool Canceled() const { return canceled_; }
    // Says goodbye where it can, without waiting long, and closes.
    void Close();

    // Where a name lookup has got to, and the addresses it found
    // (ssh_session.cpp).
    struct Lookup;

private:
    std::shared_ptr<Lookup> Resolve(const std::string& host, std::uint16_t port);
    // Connects to one address of the server: empty, or why it failed (the
    // socket then closed). Cancel and the time-out raise.
    std::string OpenSocket(const sockaddr* address, socklen_t length, const std::string& server);
    void TakeHostKey();
    void OrderHostKeys();
    // Processes events until `done` holds; Cancel and the time-out end
    // the wait with their exceptions.
    void WaitUntil(const std::function<bool()>& done, const std::string& what);
    void Notified();

    LIBSSH2_SESSION* session_ = nullptr;
    int socket_ = -1;
    std::unique_ptr<QSocketNotifier> readable_;
    std::unique_ptr<QSocketNotifier> writable_;
    bool ready_ = false;
    bool canceled_ = false;
    bool authenticated_ = false;
    TTimeCounter counter_;
    SshHostKey hostKey_;
    std::string server_;  // "host:port", for the messages
    std::vector<std::string> preferredHostKeys_;
    std::function<void()> whileWaiting_;
};

}  // namespace zn
