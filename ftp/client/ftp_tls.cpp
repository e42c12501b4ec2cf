// SPDX-License-Identifier: MIT
// FTP over TLS: explicit (RFC 4217), "AUTH TLS" before the logon, or
// implicit, TLS from the first byte; either way the password never crosses
// in clear. Then "PBSZ 0" and "PROT P", so that the listings travel
// encrypted too. Each data connection is a TLS client connection that
// resumes the control connection's session: servers use the resumption to
// tell that the data connection comes from the same client (vsftpd refuses
// it otherwise).

#include "ftp/client/ftp.h"

#include "net/core/errors.h"
#include "net/core/message_table.h"

#include <cctype>

namespace zn {
namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A FEAT line such as " AUTH TLS", " AUTH SSL TLS" or " AUTH TLS;SSL".
bool OffersAuthTls(const std::string& line) {
    const std::string upper = Upper(line);
    const std::size_t start = upper.find_first_not_of(' ');
    if (start == std::string::npos || upper.compare(start, 5, "AUTH ") != 0) return false;
    std::size_t at = start + 5;
    while ((at = upper.find("TLS", at)) != std::string::npos) {
        const bool before = upper[at - 1] == ' ' || upper[at - 1] == ';' || upper[at - 1] == ',';
        const bool after =
            at + 3 == upper.size() || upper[at + 3] == ' ' || upper[at + 3] == ';' || upper[at + 3] == ',';
        if (before && after) return true;
        at += 3;
    }
    return false;
}

}  // namespace

void TznFTP::SetTlsMode(TTlsMode value) {
    if ((value == tmImplicit) != (TlsMode_ == tmImplicit)) {
        SetServiceName(value == tmImplicit ? "ftps" : "ftp");
        SetDefaultPort(value == tmImplicit ? kImplicitTlsPort : 21);
    }
    TlsMode_ = value;
}

void TznFTP::SetTrustedFingerprint(const std::string& value) {
    if (value.empty()) {
        TrustedFingerprint_.clear();
        return;
    }
    const std::string normal = NormalizeFingerprint(value);
    if (normal.empty()) {
        RaiseErrorText("\"" + value + "\" is not a SHA-256 fingerprint (32 bytes in hex, as SHA256:AB:CD:...)", false);
    }
    TrustedFingerprint_ = normal;
}

// A host typed as an address, in any form the resolver takes ("127.1",
// "2130706433", "010.0.0.1", which it reads as octal: 8.0.0.1), is checked
// as the dotted address the connection went to, so that the check and the
// connection can never disagree; a name is checked as a name.
std::string TznFTP::CertificateName(const std::string& host) {
    const winsock::u_long address = WinsockInstance.inet_addr(host.c_str());
    if (address == winsock::kInaddrNone) return host;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
           std::to_string(bytes[3]);
}

std::string TznFTP::ServerFingerprint() const { return TlsActive() ? Tls()->Fingerprint() : std::string(); }

std::string TznFTP::TlsSummary() const {
    if (!TlsActive()) return {};
    return Tls()->Version() + ", certificate " + (CertificatePinned_ ? "pinned" : "verified");
}

// Under auto, a server that does not offer TLS, or offers it and then
// refuses it (pure-ftpd built with TLS but given no certificate answers
// "500 This security scheme is not implemented"), is logged on to in clear,
// as it would be without TLS at all; the owner is told before the password
// goes. Under require the logon ends there, and so it does under auto where
// TLS is expected: a pinned certificate or a server that spoke TLS before
// losing it is what someone on the path would arrange.
bool TznFTP::BeginSecureLogon() {
    ForgetLastTlsLogon();
    if (TlsMode_ == tmOff) return false;
    if (TlsMode_ == tmAuto && !ServerOffersTls()) {
        if (TlsExpected()) RefuseDowngrade("does not offer TLS");
        GoOnInClear("the server does not offer TLS");
        return false;
    }
    SendLogonCommand("AUTH TLS", LogonStage::AuthTls, Expect::Optional, {234});
    return true;
}

void TznFTP::ForgetLastTlsLogon() {
    DataProtected_ = false;
    CertificatePinned_ = false;
    PlainLogonReason_.clear();
    DataCloseNotifySeen_ = false;
}

// RFC 4217 leaves implicit TLS out, but it is still run: the server expects
// the client's hello as the first bytes and sends its 220 through TLS. The
// certificate is checked against the host connected to (a proxy, when there
// is one: the TLS is with it), and accepted or refused as after AUTH TLS,
// before any command goes out.
void TznFTP::StartImplicitTls() {
    ForgetLastTlsLogon();
    if (TlsMode_ != tmImplicit) return;
    TlsHost_ = CertificateName(ServerHost(UseProxy_ ? Proxy_ : Server()));
    // A plain FTP server greets in clear, which the handshake cannot read.
    SetTlsFailureAdvice(
        "a server that does not speak TLS from its first byte (implicit FTPS) wants ftp:// instead, "
        "which uses TLS where the server offers it");
    struct ClearAdvice {
        TznFTP& ftp;
        ~ClearAdvice() { ftp.SetTlsFailureAdvice({}); }
    } clear{*this};
    StartTls(TlsHost_);
    AcceptCertificate();
    FireChecked(OnSecured, this);
}

// AUTH TLS's reply: the handshake, or under auto the logon in clear.
void TznFTP::FinishSecureLogon(bool accepted) {
    if (!accepted) {
        if (TlsExpected()) RefuseDowngrade("refused TLS (" + LastReply() + ")");
        if (TlsMode_ == tmAuto) return GoOnInClear("the server refused TLS (" + LastReply() + ")");
        RaiseErrorText("TLS is required, but the server refused it: " + LastReply(), true);
    }
    StartTls(TlsHost_);
    AcceptCertificate();
    FireChecked(OnSecured, this);
}

bool TznFTP::TlsExpected() const { return TlsMode_ == tmAuto && (TlsRemembered_ || !TrustedFingerprint_.empty()); }

void TznFTP::GoOnInClear(const std::string& why) {
    PlainLogonReason_ = why + "; going on without it: the password travels in clear";
    FireChecked(OnPlainLogon, this);
}

// Like a changed host key to ssh: what changed, that it may not be the
// server's doing, and how to accept it if it is.
void TznFTP::RefuseDowngrade(const std::string& change) {
    const std::string stopped = "; the logon stopped before the user name and password were sent";
    if (TlsRemembered_) {
        RaiseErrorText(
            "This server spoke TLS before, and now it " + change +
                ". Someone between you and the server may be removing TLS" + stopped +
                (TlsAcceptAdvice_.empty() ? std::string() : ". If the server really changed, " + TlsAcceptAdvice_),
            true);
    }
    RaiseErrorText("A certificate is pinned for this server, so TLS is required, but the server " + change + stopped,
                   true);
}

bool TznFTP::ServerOffersTls() {
    for (const std::string& line : Features()) {
        if (OffersAuthTls(line)) return true;
    }
    return false;
}

// The trust store, then the pinned fingerprint, then the owner's handler;
// without any of them the connection is closed before the user name.
void TznFTP::AcceptCertificate() {
    const TlsCertificate certificate = Tls()->Certificate();
    if (!RequiredFingerprint_.empty()) {
        if (certificate.Fingerprint == RequiredFingerprint_) {
            CertificatePinned_ = !certificate.Verified;
            return;
        }
        RaiseErrorText("This connection showed another certificate (" + certificate.Fingerprint +
                           ") than the first connection to the server (" + RequiredFingerprint_ +
                           "); the logon stopped before the user name and password were sent",
                       true);
    }
    if (certificate.Verified) return;
    if (!TrustedFingerprint_.empty() && certificate.Fingerprint == TrustedFingerprint_) {
        CertificatePinned_ = true;
        return;
    }
    bool trust = false;
    FireChecked(OnUntrustedCertificate, this, certificate, trust);
    if (Canceled()) RaiseCanceled();
    if (!Connected()) RaiseError(kMsgNotConnected);
    if (trust) {
        CertificatePinned_ = true;
        return;
    }
    RaiseErrorText("The server's certificate is not trusted (" + certificate.Problem +
                       "); the logon stopped before the user name and password were sent. Certificate " +
                       certificate.Fingerprint + ", subject " + certificate.Subject + ", issuer " + certificate.Issuer +
                       ", valid from " + certificate.ValidFrom + " to " + certificate.ValidTo,
                   true);
}

void TznFTP::SecureDataConnection() {
    if (!DataProtected_ || !TlsActive()) return;
    const std::shared_ptr<SSL_SESSION> session = SharedTlsContext()->LatestSession();
    TlsChannel& channel = Data_->StartTls(SharedTlsContext(), TlsHost_, session.get());
    CompleteHandshake(channel);
    // A resumed session proves the same server; a new one must at least
    // show the certificate the control connection accepted.
    if (channel.Fingerprint() != Tls()->Fingerprint()) {
        RaiseErrorText("The data connection showed another certificate than the control connection", true);
    }
}

// A server that ends its data connections with close_notify does so every
// time; once one has in this session, a data connection that ends with a
// bare close may have been cut short by someone on the path, and the 226
// that follows on the control connection cannot tell. Before that, a bare
// close is taken as the end (many servers never send close_notify).
void TznFTP::CheckDataStreamEnd(const TlsChannel& channel) {
    if (!channel.BareClose()) {
        DataCloseNotifySeen_ = true;
        return;
    }
    if (DataCloseNotifySeen_) {
        RaiseErrorText(
            "The listing's TLS connection ended without close_notify, which this server sent before: the "
            "listing may have been cut short on the way, so the walk is incomplete",
            true);
    }
}

int TznFTP::ReceiveDataChunk(char* buffer, int size) {
    if (Data_->Tls()) return ReadThrough(*Data_->Tls(), buffer, size, false);
    std::uint16_t error = 0;
    const int n = Data_->Receive(buffer, size, error);
    if (error && !Canceled()) RaiseError(error);
    return n;
}

}  // namespace zn
