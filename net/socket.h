// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/core/events.h"
#include "net/core/server_key.h"
#include "net/core/socket_address.h"
#include "net/core/time_counter.h"
#include "net/core/winsock.h"
#include "net/tls_channel.h"
#include "platform/component.h"
#include "platform/messages.h"

namespace zn {

class TznRas;

// Notification messages of the hidden window, in the application's range.
constexpr platform::UINT WM_HOSTLOOKUP = platform::WM_USER + 148;
constexpr platform::UINT WM_SERVLOOKUP = platform::WM_USER + 149;
constexpr platform::UINT WM_SOCKETEVENT = platform::WM_USER + 150;

// The client end of one TCP control connection: it dials a linked dial-up
// connection, resolves the server, connects, and carries a line dialogue of
// numbered replies. Every wait blocks in the event loop until a
// notification, a tick of the time-out counter or the user's Cancel, so the
// window stays usable while the component waits.
class TznSocket : public platform::TComponent {
public:
    explicit TznSocket(platform::TComponent* owner);
    ~TznSocket() override;

    bool WinsockLoaded() const;
    void SetWinsockLoaded(bool value);
    TznRas* RAS() const { return RAS_; }
    // The link asks the dial-up component to say when it goes, wherever it
    // is owned, so the socket never calls one that is gone.
    void SetRAS(TznRas* value);
    bool Connected() const { return SocketHandle_ != winsock::INVALID_SOCKET; }
    // The control connection runs over TLS (socket_tls.cpp).
    bool TlsActive() const { return Tls_ != nullptr; }
    const TlsChannel* Tls() const { return Tls_.get(); }
    const std::string& LastReply() const { return LastReply_; }

    // The connection's own addresses, for the data connections (EPSV and
    // EPRT of RFC 2428 name the family and, for EPRT, the local address).
    // AddressFamily is winsock::kAfInet or kAfInet6, 0 without a socket.
    // PeerAddress is the server's address that was tried last, the one
    // connected to once connected; LocalAddress is this end's. Both are
    // text, dotted IPv4 or IPv6 without brackets, made into a socket
    // address again by MakeSocketAddress (net/core/socket_address.h); empty
    // without a socket. Defined in socket_connect.cpp.
    int AddressFamily() const;
    std::string PeerAddress() const;
    std::string LocalAddress() const;

    virtual void Open();
    void ConnectSocket();
    // The connect in two halves, for a caller that must not wait: the
    // connect started, and once ConnectSettled holds (the notification came,
    // which a turn of the event loop delivers), its outcome: raises as
    // ConnectSocket does.
    void StartConnect();
    bool ConnectSettled() const;
    void FinishConnect();
    virtual void Close();
    // Stops whatever is under way and closes. Safe from an event handler
    // while another operation of this component waits.
    virtual void Cancel();

    // Line dialogue (socket_lines.cpp).
    virtual std::int32_t ReplyCode(const std::string& line);
    std::int32_t ReadLine(std::string& line);
    // A whole line has come and waits: reading it will not wait. Found
    // without a turn of the event loop. True as well when the connection
    // has failed or ended, for the read to report it.
    bool LineWaiting();
    // With `kept`, every line of the reply is kept there as well.
    std::int32_t ReadReply(std::vector<std::string>* kept = nullptr);
    // A reply that carries data, as a listing sent over the control
    // connection: each line between the first and the last goes to
    // `lineOut`, with the reply's code, as it arrives and none is kept, so a
    // directory of any size fits. LastReply holds the closing line.
    std::int32_t ReadDataReply(const std::function<void(const std::string& line, std::int32_t code)>& lineOut,
                               std::string* firstLine = nullptr);
    void SendLine(const std::string& line);

    // A received line holds at most this many bytes; the rest of a longer
    // line, up to its LF, is dropped.
    static constexpr std::size_t kLineMax = 1024;
    // The most a multi-line reply may hold before it counts as endless.
    static constexpr std::size_t kReplyLinesMax = 10000;
    static constexpr std::size_t kReplyBytesMax = std::size_t{1024} * 1024;
    // The most one listing may hold, whichever way it comes (a data
    // connection, or a reply over the control connection): a listing
    // without end would otherwise grow for ever, each line restarting the
    // time-out. Past either bound the listing fails.
    struct ListingBound {
        std::uint64_t Lines;
        std::uint64_t Bytes;
    };
    static constexpr ListingBound kListingMax{10'000'000, std::uint64_t{1} << 30};
    // A tighter bound than kListingMax (tests cannot send a gibibyte).
    void SetListingMax(ListingBound value) { ListingMax_ = value; }
    // A multi-line reply (a listing over the control connection too) that
    // grows by less than `bytes` in any `seconds` is given up as timed out,
    // whatever the time-out between its lines: a server that sends one line
    // now and then would otherwise hold the one thread for hours.
    static constexpr std::size_t kLowSpeedBytes = 1024;
    static constexpr int kLowSpeedSeconds = 30;
    void SetLowSpeedLimit(std::size_t bytes, int seconds) {
        LowSpeedBytes_ = bytes;
        LowSpeedSeconds_ = seconds;
    }
    // No reply may be read past this moment (a logon's deadline); none
    // when unset.
    void SetReplyDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) { ReplyDeadline_ = deadline; }
    // A single line without end, in a reply or a listing over the control
    // connection.
    static constexpr std::size_t kLineBytesMax = std::size_t{1024} * 1024;
    static constexpr std::size_t kHostNameMax = 127;
    static constexpr std::size_t kServiceNameMax = 63;

protected:
    // Counts one line of `lineBytes` against the listing's bound; past it
    // the listing fails, and the connection is closed (the dialogue is out
    // of step).
    void CountListingLine(std::uint64_t& lines, std::uint64_t& bytes, std::uint64_t lineBytes);
    ListingBound ListingMax() const { return ListingMax_; }
    const std::string& Server() const { return Server_; }
    void SetServer(const std::string& value) { Server_ = value; }
    std::uint16_t DefaultPort() const { return DefaultPort_; }
    void SetDefaultPort(std::uint16_t value) { DefaultPort_ = value; }
    std::int32_t TimeOut() const { return TimeCounter_.TimeOut(); }
    void SetTimeOut(std::int32_t value) { TimeCounter_.SetTimeOut(value); }
    void SetServiceName(const std::string& value) { ServiceName_ = value; }

    // The control connection's state, for descendants (their waits, their
    // data connections) and tests to read; only this class changes it.
    winsock::SOCKET SocketHandle() const { return SocketHandle_; }
    platform::HWND NotifyWindow() const { return NotifyWindow_; }
    // The server's IPv4 address in use, network order; kInaddrNone when it
    // is IPv6 (a data connection must then use PeerAddress).
    std::uint32_t HostAddress() const { return HostAddress_; }
    std::uint16_t Port() const { return Port_; }  // host order
    std::int32_t StartupCount() const { return StartupCount_; }
    TTimeCounter& TimeCounter() { return TimeCounter_; }
    bool Canceled() const { return Canceled_; }
    bool AsyncError() const { return AsyncError_; }
    // Records the error a notification carried, 0 for none; a later
    // notification without error clears it.
    void NoteAsyncError(std::uint16_t code);
    // Set by HandleNotification as the notifications come.
    struct NotificationFlags {
        bool HostLookupDone = false;
        bool ServiceLookupDone = false;
        bool ConnectDone = false;
        bool DataArrived = false;
        bool PeerClosed = false;
    };
    const NotificationFlags& Notified() const { return Notified_; }
    // The settings the control connection's TLS was set up with, for the
    // data connections to resume its session; empty without TLS.
    const std::shared_ptr<TlsContext>& SharedTlsContext() const { return TlsContext_; }

    virtual void ResetState();
    void CheckServer();
    // Reports the failure of a sockets call or a lookup by its code (the
    // message table's text) and raises ESocketError.
    [[noreturn]] void RaiseError(std::uint16_t code);
    // For a code that may be 0, meaning success: returns then.
    void RaiseIfError(std::uint16_t code);
    [[noreturn]] void RaiseTimeOut(const std::string& detail = {});
    [[noreturn]] void RaiseCanceled();
    // Fires OnError with the text, closes when asked to, raises ESocketError.
    [[noreturn]] void RaiseErrorText(std::string message, bool close);

    // Besides its own goal, every wait ends on the user's Cancel and on the
    // time-out; some (a lookup, data awaited) also on an error notification.
    enum class StopReasons : std::uint8_t { CancelOrTimeOut, CancelTimeOutOrError };
    // One of `reasons` holds: the wait must end.
    bool Stopped(StopReasons reasons = StopReasons::CancelOrTimeOut) const;
    // After a wait, reports the first of `reasons` that holds, always in the
    // same order: the user's Cancel first, since the Close it made may be
    // what caused the others and the user asked for it; then the time-out,
    // which holds until the next attempt and closes the connection; then
    // the error of the last notification. `timeOutDetail` says what was
    // awaited. Returns when none holds.
    void RaiseIfStopped(StopReasons reasons = StopReasons::CancelOrTimeOut, const std::string& timeOutDetail = {});

    // Switches the connected socket to TLS, the certificate to name `host`.
    // The handshake waits like every other wait: time-out, Cancel, close.
    void StartTls(const std::string& host);
    // Completes the handshake of a channel on this or another socket of the
    // session (a data connection); raises as the socket's own waits do.
    void CompleteHandshake(TlsChannel& channel);
    [[noreturn]] void RaiseTlsFailure(const TlsChannel& channel);
    // Added to the message of a handshake that fails (not of a refused
    // certificate): what the user may have mistaken. Empty: nothing.
    void SetTlsFailureAdvice(std::string value) { TlsFailureAdvice_ = std::move(value); }
    // A read through a channel as recv reads: the bytes, 0 at the end of the
    // stream, SOCKET_ERROR with nothing there yet; a failure raises.
    int ReadThrough(TlsChannel& channel, char* buffer, int capacity, bool peek);
    void StopWaitingForHandshake();

    void Notification(platform::TComponent* component, platform::TOperation operation) override;

    // Processes what is pending, then blocks in the event loop until
    // `done` holds; the caller's conditions always include Stopped(), whose
    // reasons arrive as events.
    template <typename Done>
    void WaitUntil(Done done) {
        Pump();
        while (!done()) Block();
    }

    // Every call that can run the owner's code (an event, the message loop)
    // goes through these: a handler may destroy this component, and then the
    // operation under way stops right there with ECanceledError, touching
    // nothing of the component on its way out.
    void Pump();   // processes pending messages
    void Block();  // waits for the next event and processes it
    template <typename Event, typename... Args>
    void FireChecked(const Event& event, Args&&... args) {
        const std::shared_ptr<const bool> alive = Alive_;
        Fire(event, std::forward<Args>(args)...);
        StopIfDestroyed(*alive);
    }
    static void StopIfDestroyed(bool alive);
    // False once the destructor has begun; held by whoever must not touch a
    // destroyed component.
    std::shared_ptr<const bool> AliveToken() const { return Alive_; }

    // Times one wait. However the wait ends (its conditions, an exception
    // from a handler, this component destroyed meanwhile), the counter is
    // stopped and a lookup still pending is cancelled, so nothing keeps
    // running and no late answer lands in this object.
    class WaitScope {
    public:
        explicit WaitScope(TznSocket& socket);
        ~WaitScope();
        WaitScope(const WaitScope&) = delete;
        WaitScope& operator=(const WaitScope&) = delete;

    private:
        TznSocket& socket_;
        std::shared_ptr<const bool> alive_;
    };

    // The events, assigned by the owner (the FTP client publishes them).
    TNotifyEvent OnOpen;
    TNotifyEvent OnConnected;
    TNotifyEvent OnClosing;
    TNotifyEvent OnClosed;
    TNotifyEvent OnCancel;
    TqmErrorEvent OnError;
    TqmLineTransmitEvent OnLineSent;
    TqmLineTransmitEvent OnLineReceived;

private:
    std::string Server_;
    std::uint16_t DefaultPort_ = 0;
    std::string ServiceName_;
    TznRas* RAS_ = nullptr;
    platform::HWND NotifyWindow_ = 0;
    winsock::WSADATA StartupRecord_{};
    winsock::SOCKET SocketHandle_ = winsock::INVALID_SOCKET;
    winsock::HANDLE PendingRequest_ = 0;
    TTimeCounter TimeCounter_;
    // The server's addresses, in the order they are tried, and the one in
    // use (its port is Port_).
    std::vector<SocketAddress> Candidates_;
    std::size_t Candidate_ = 0;
    std::uint32_t HostAddress_ = 0;  // network order
    std::uint16_t Port_ = 0;         // host order
    std::int32_t StartupCount_ = 0;
    bool Canceled_ = false;
    NotificationFlags Notified_;
    bool AsyncError_ = false;
    std::uint16_t AsyncErrorCode_ = 0;
    std::string LastReply_;
    std::shared_ptr<TlsContext> TlsContext_;
    std::unique_ptr<TlsChannel> Tls_;
    std::string TlsFailureAdvice_;
    ListingBound ListingMax_ = kListingMax;
    std::size_t LowSpeedBytes_ = kLowSpeedBytes;
    int LowSpeedSeconds_ = kLowSpeedSeconds;
    std::optional<std::chrono::steady_clock::time_point> ReplyDeadline_;
    // How a multi-line reply has grown since its pace was last judged.
    struct ReplyPace {
        std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
        std::size_t bytes = 0;
    };
    void KeepReplyPace(ReplyPace& pace, std::size_t lineBytes);

    // The connect notification carried an error (a refused connection).
    bool ConnectFailed_ = false;
    unsigned linesTaken_ = 0;
    std::unique_ptr<char[]> waitingLines_;  // TakeWaitingLines' buffer
    // The control connection is read a large chunk at a time, and the lines
    // are served from here: one system call for what a peek and a read did.
    static constexpr int kInboxSize = 64 * 1024;
    std::unique_ptr<char[]> inbox_;
    std::size_t inboxStart_ = 0, inboxEnd_ = 0;
    bool InboxHolds() const { return inboxStart_ < inboxEnd_; }
    // Bytes the peer sent are still to be read, here or in the socket.
    bool ReplyLeft();
    // The next line is the server's "421" that ends the session.
    bool ClosingReplyNext();
    // A send met the peer's reset while its replies were still to be read:
    // later lines go nowhere, and the reader meets the end after them.
    bool SendLost_ = false;
    std::string TakeClosingReply();
    bool takingClosingReply_ = false;
    bool InputWaiting();
    void EmptyInbox() {
        inboxStart_ = inboxEnd_ = 0;
        SendLost_ = false;
    }
    std::shared_ptr<bool> Alive_ = std::make_shared<bool>(true);

    platform::LRESULT HandleNotification(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam);
    std::string HostPart() const;
    std::int32_t PortPart() const;
    void ResolveHost();
    void LookUpAddresses(const std::string& name);
    void UseCandidate(std::size_t index);
    void ResolvePort();
    void CreateSocket();
    int BeginConnect();
    bool TryNextAddress(int& code);
    void CancelPendingRequest();
    std::int32_t ReadLineBody(std::string& line);
    int CollectLinePart(char* buffer, std::size_t& count, std::size_t& received, bool& found);
    bool SendAll(const std::string& data);
    int SendSome(const std::string& data, std::size_t& position);
    void RefuseLineBreaks(const std::string& line);
    int ReceiveUpToLineEnd(char* chunk, int capacity, bool& found);
    int Receive(char* chunk, int capacity, bool peek);
    bool TakeWaitingLine(std::string& line, std::int32_t& code);
    std::int32_t ReadNextLine(std::string& line);
    bool TakeWaitingLines(std::int32_t code, const std::function<void(const std::string&, std::int32_t)>& onLine,
                          bool& closed);
    void EndTls();

    alignas(8) char LookupAnswer_[winsock::MAXGETHOSTSTRUCT] = {};
};

}  // namespace zn
