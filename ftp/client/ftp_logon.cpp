// SPDX-License-Identifier: MIT
// The logon: under implicit TLS the handshake first, then the greeting,
// the proxy's OPEN, AUTH TLS, USER and PASS, and PBSZ and PROT under TLS,
// as steps that each judge one reply and send the next command. Connect
// takes them one after the other, waiting for each reply; a connection
// opened beside busy ones takes each when its reply has come, so that it
// never holds the others up.

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
    for (LogonStage stage = LogonStage::Greeting; stage != LogonStage::Done;) stage = TakeLogonReply(stage);
    LogonSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - LogonStarted_).count();
}

void TznFTP::BeginLogon() {
    LogonStarted_ = std::chrono::steady_clock::now();
    Stage_ = LogonStage::Done;
    OpenThroughProxy();
    StartConnect();
    Stage_ = LogonStage::Connecting;
}

// The connect's notification comes with a turn of the event loop, which
// the other connections' waits give; the replies are looked for directly.
bool TznFTP::ContinueLogon() {
    if (Canceled()) RaiseCanceled();
    if (Stage_ == LogonStage::Connecting) {
        if (!ConnectSettled()) Pump();
        if (ConnectSettled()) {
            FinishConnect();
            StartImplicitTls();
            Stage_ = LogonStage::Greeting;
        }
    }
    // The rest of a reply whose first line has come is waited for here:
    // it may not run past the logon's own time-out.
    SetReplyDeadline(LogonStarted_ + std::chrono::seconds(TimeOut()));
    struct Clear {
        TznFTP& ftp;
        ~Clear() { ftp.SetReplyDeadline(std::nullopt); }
    } clear{*this};
    while (Stage_ != LogonStage::Connecting && Stage_ != LogonStage::Done && LineWaiting()) {
        Stage_ = TakeLogonReply(Stage_);
    }
    if (Stage_ == LogonStage::Done) {
        LogonSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - LogonStarted_).count();
        return true;
    }
    if (std::chrono::steady_clock::now() - LogonStarted_ > std::chrono::seconds(TimeOut())) RaiseTimeOut(" (logon)");
    return false;
}

// Judges the reply `stage` waits for, sends the next command and returns
// the stage that waits for its reply.
TznFTP::LogonStage TznFTP::TakeLogonReply(LogonStage stage) {
    const std::int32_t code = ReadReply();
    switch (stage) {
        case LogonStage::Greeting:
            ExpectCodes(code, {220});
            if (UseProxy_ && ProxyType_ != fpUserNoLogon) {
                SendLine("OPEN " + RemoteHost_);
                return LogonStage::ProxyOpen;
            }
            return AfterGreeting();
        case LogonStage::ProxyOpen: ExpectCodes(code, {220}); return AfterGreeting();
        case LogonStage::AuthTls: FinishSecureLogon(code); return SendUser();
        case LogonStage::User:
            ExpectCodes(code, {230, 331, 332});
            SendLine("PASS " + Password_);
            return LogonStage::Pass;
        case LogonStage::Pass:
            ExpectCodes(code, {230, 202});
            Features_.reset();
            // Without PROT P the listings would cross in clear; a server
            // that refuses it ends the logon.
            if (!TlsActive()) return AfterLogon();
            SendLine("PBSZ 0");
            return LogonStage::Pbsz;
        case LogonStage::Pbsz:
            ExpectPositive(code);
            SendLine("PROT P");
            return LogonStage::Prot;
        case LogonStage::Prot:
            ExpectPositive(code);
            DataProtected_ = true;
            return AfterLogon();
        // A server that refuses only keeps sending names as it did.
        case LogonStage::Utf8: return LogonStage::Done;
        case LogonStage::Connecting:
        case LogonStage::Done: break;
    }
    return LogonStage::Done;
}

// The certificate must name the host whose greeting came last: the server
// behind an OPEN proxy, else the one connected to.
TznFTP::LogonStage TznFTP::AfterGreeting() {
    // Under implicit TLS the connection was secured before the greeting.
    if (TlsMode_ == tmImplicit) return SendUser();
    const bool proxyOpen = UseProxy_ && ProxyType_ != fpUserNoLogon;
    const std::string& greeter = proxyOpen ? RemoteHost_ : UseProxy_ ? Proxy_ : Server();
    TlsHost_ = CertificateName(ServerHost(greeter));
    return BeginSecureLogon() ? LogonStage::AuthTls : SendUser();
}

// Where FEAT listed UTF8 before the logon, names are asked for in UTF-8
// at once; one listed only later is asked for when that FEAT is read.
TznFTP::LogonStage TznFTP::AfterLogon() {
    LoggedOn_ = true;
    if (Utf8_ != Utf8Switch::Offered) return LogonStage::Done;
    Utf8_ = Utf8Switch::Asked;
    SendLine("OPTS UTF8 ON");
    return LogonStage::Utf8;
}

TznFTP::LogonStage TznFTP::SendUser() {
    const bool userAtHost = UseProxy_ && ProxyType_ == fpUserNoLogon;
    SendLine("USER " + UserName_ + (userAtHost ? "@" + RemoteHost_ : std::string()));
    return LogonStage::User;
}

}  // namespace zn
