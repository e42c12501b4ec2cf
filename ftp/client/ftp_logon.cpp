// SPDX-License-Identifier: MIT
// The logon: under implicit TLS the handshake first, then the greeting,
// the proxy's OPEN, AUTH TLS, USER and PASS, and PBSZ and PROT under TLS.
// Each command goes into the queue of commands sent, marked with its step
// of the logon; when its reply has been read and judged, the step sends
// the next command. Connect takes the steps one after the other, waiting
// for each reply; a connection opened beside busy ones takes each when its
// reply has come, so that it never holds the others up.

#include "ftp/client/ftp.h"

#include "net/core/errors.h"
#include "net/core/server_key.h"

namespace zn {

void TznFTP::Connect() {
    if (Connected()) return;
    OpenThroughProxy();
    Login();
}

// Open with the proxy as the server where there is one; Server holds the
// proxy only while it opens, whatever happens.
void TznFTP::OpenThroughProxy() {
    if (UseProxy_) {
        RemoteHost_ = Server();
        SetServer(Proxy_);
    }
    struct RestoreServer {
        TznFTP& ftp;
        ~RestoreServer() {
            if (ftp.UseProxy_) ftp.SetServer(ftp.RemoteHost_);
        }
    } restore{*this};
    Open();
}

void TznFTP::Login() {
    LogonStarted_ = std::chrono::steady_clock::now();
    ConnectSocket();
    StartImplicitTls();
    AwaitGreeting();
    while (!Ahead_.empty()) TakeLogonReply();
    LogonSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - LogonStarted_).count();
}

void TznFTP::BeginLogon() {
    LogonStarted_ = std::chrono::steady_clock::now();
    LogonConnecting_ = false;
    OpenThroughProxy();
    StartConnect();
    LogonConnecting_ = true;
}

// The connect's notification comes with a turn of the event loop, which
// the other connections' waits give; the replies are looked for directly.
bool TznFTP::ContinueLogon() {
    if (Canceled()) RaiseCanceled();
    if (LogonConnecting_) {
        if (!ConnectSettled()) Pump();
        if (ConnectSettled()) {
            FinishConnect();
            StartImplicitTls();
            AwaitGreeting();
            LogonConnecting_ = false;
        }
    }
    // The rest of a reply whose first line has come is waited for here:
    // it may not run past the logon's own time-out.
    SetReplyDeadline(LogonStarted_ + std::chrono::seconds(TimeOut()));
    struct Clear {
        TznFTP& ftp;
        ~Clear() { ftp.SetReplyDeadline(std::nullopt); }
    } clear{*this};
    while (!LogonConnecting_ && !Ahead_.empty() && LineWaiting()) TakeLogonReply();
    if (!LogonConnecting_ && Ahead_.empty()) {
        LogonSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - LogonStarted_).count();
        return true;
    }
    if (std::chrono::steady_clock::now() - LogonStarted_ > std::chrono::seconds(TimeOut())) RaiseTimeOut(" (logon)");
    return false;
}

// The greeting answers the connection itself: it waits in the queue as
// the reply of a command that was never sent.
void TznFTP::AwaitGreeting() {
    Ahead_.push_back(SentAhead{{}, Expect::OneOf, {}, static_cast<int>(LogonStage::Greeting), {220}});
}

void TznFTP::SendLogonCommand(const std::string& command, LogonStage stage, Expect expects,
                              std::vector<std::int32_t> codes) {
    Send(SentAhead{command, expects, {}, static_cast<int>(stage), std::move(codes)});
}

// Reads and judges the reply the oldest step of the logon waits for, and
// sends the next step's command.
void TznFTP::TakeLogonReply() {
    const auto stage = static_cast<LogonStage>(Ahead_.front().Tag);
    const Reply reply = Receive(nullptr);
    switch (stage) {
        case LogonStage::Greeting:
            if (UseProxy_ && ProxyType_ != fpUserNoLogon) {
                return SendLogonCommand("OPEN " + RemoteHost_, LogonStage::ProxyOpen, Expect::OneOf, {220});
            }
            return AfterGreeting();
        case LogonStage::ProxyOpen: return AfterGreeting();
        case LogonStage::AuthTls: FinishSecureLogon(reply.Said == Answer::AsExpected); return SendUser();
        case LogonStage::User:
            return SendLogonCommand("PASS " + Password_, LogonStage::Pass, Expect::OneOf, {230, 202});
        case LogonStage::Pass:
            Features_.reset();
            // Without PROT P the listings would cross in clear; a server
            // that refuses it ends the logon.
            if (!TlsActive()) return AfterLogon();
            return SendLogonCommand("PBSZ 0", LogonStage::Pbsz, Expect::Positive);
        case LogonStage::Pbsz: return SendLogonCommand("PROT P", LogonStage::Prot, Expect::Positive);
        case LogonStage::Prot: DataProtected_ = true; return AfterLogon();
        case LogonStage::Utf8: return;
    }
}

// The certificate must name the host whose greeting came last: the server
// behind an OPEN proxy, else the one connected to.
void TznFTP::AfterGreeting() {
    // Under implicit TLS the connection was secured before the greeting.
    if (TlsMode_ == tmImplicit) return SendUser();
    const bool proxyOpen = UseProxy_ && ProxyType_ != fpUserNoLogon;
    const std::string& greeter = proxyOpen ? RemoteHost_ : UseProxy_ ? Proxy_ : Server();
    TlsHost_ = CertificateName(ServerHost(greeter));
    if (!BeginSecureLogon()) SendUser();
}

// Where FEAT listed UTF8 before the logon, names are asked for in UTF-8
// at once; one listed only later is asked for when that FEAT is read. A
// server that refuses only keeps sending names as it did.
void TznFTP::AfterLogon() {
    LoggedOn_ = true;
    if (Utf8_ != Utf8Switch::Offered) return;
    Utf8_ = Utf8Switch::Asked;
    SendLogonCommand("OPTS UTF8 ON", LogonStage::Utf8, Expect::Optional);
}

void TznFTP::SendUser() {
    const bool userAtHost = UseProxy_ && ProxyType_ == fpUserNoLogon;
    SendLogonCommand("USER " + UserName_ + (userAtHost ? "@" + RemoteHost_ : std::string()), LogonStage::User,
                     Expect::OneOf, {230, 331, 332});
}

}  // namespace zn
