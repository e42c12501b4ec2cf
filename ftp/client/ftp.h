// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/client/data_connection.h"
#include "ftp/client/sent_ahead.h"
#include "ftp/listing/dir_list.h"
#include "net/socket.h"

namespace zn {

// FEAT's reply has a line naming `verb` alone (" EPSV"), whatever its case.
bool FeatureListed(const std::vector<std::string>& features, const char* verb);

enum TFTPProxyType : std::uint8_t { fpUserNoLogon = 0, fpProxyOpen = 1 };
enum TTransferType : std::uint8_t { ftBinary = 0, ftASCII = 1 };
// Explicit FTP over TLS (RFC 4217). Auto uses it when the server's FEAT
// offers AUTH TLS and goes on in clear, saying so, when the server does not
// offer it or refuses it; Require ends the logon without it. Implicit: TLS
// from the first byte, before the greeting, on a port of its own (990), as
// some hosting providers still run it; no AUTH TLS is sent.
enum TTlsMode : std::uint8_t { tmOff = 0, tmAuto = 1, tmRequire = 2, tmImplicit = 3 };

// The FTP client: the control dialogue of RFC 959 (logon directly or through
// a proxy, CWD, CDUP, QUIT) and directory listings over an active-mode data
// connection. Every operation returns when the server has answered as
// expected and raises otherwise. Every command, the logon's included, goes
// through one queue with the reply it expects (ftp_ahead.cpp): an
// operation that waits sends its command and reads its own reply, and a
// walk may send several before it reads theirs.
class TznFTP : public TznSocket {
public:
    explicit TznFTP(platform::TComponent* owner);
    ~TznFTP() override;

    using TznSocket::DefaultPort;
    using TznSocket::Server;
    using TznSocket::SetDefaultPort;
    using TznSocket::SetServer;
    using TznSocket::SetTimeOut;
    using TznSocket::TimeOut;
    using TznSocket::OnCancel;
    using TznSocket::OnClosed;
    using TznSocket::OnClosing;
    using TznSocket::OnConnected;
    using TznSocket::OnError;
    using TznSocket::OnLineReceived;
    using TznSocket::OnLineSent;
    using TznSocket::OnOpen;

    const std::string& UserName() const { return UserName_; }
    void SetUserName(const std::string& value) { UserName_ = value; }
    const std::string& Password() const { return Password_; }
    void SetPassword(const std::string& value) { Password_ = value; }
    TServerType ServerType() const { return DirList_->ServerType; }
    void SetServerType(TServerType value) { DirList_->ServerType = value; }
    bool UseProxy() const { return UseProxy_; }
    void SetUseProxy(bool value) { UseProxy_ = value; }
    const std::string& Proxy() const { return Proxy_; }
    // Refuses a value without a port ("Proxy port is required").
    void SetProxy(const std::string& value);
    TFTPProxyType ProxyType() const { return ProxyType_; }
    void SetProxyType(TFTPProxyType value) { ProxyType_ = value; }
    std::uint32_t TrasferBufferSize() const { return TrasferBufferSize_; }
    void SetTrasferBufferSize(std::uint32_t value) { TrasferBufferSize_ = value; }
    TTransferType TransferType() const { return TransferType_; }
    void SetTransferType(TTransferType value) { TransferType_ = value; }
    TznFTPDirList& DirList() { return *DirList_; }
    // Passive-mode data connections (PASV): off, so the window keeps the
    // active mode; the command line offers it for servers behind firewalls.
    bool Passive() const { return Passive_; }
    void SetPassive(bool value) { Passive_ = value; }
    // What the user can do when, in active mode, the server cannot connect
    // back (a router between them): added to that time-out's message.
    void SetConnectBackAdvice(const std::string& value) { ConnectBackAdvice_ = value; }
    // In active mode, when the server cannot connect back (it answers 425,
    // or no connection comes within the time-out and it then answers),
    // the listing is tried once more in passive mode, which then stays
    // chosen until the owner sets Passive again. OnPassiveFallback comes
    // first, PassiveFallbackReason saying why. Off: the failure raises.
    bool PassiveFallback() const { return PassiveFallback_; }
    void SetPassiveFallback(bool value) { PassiveFallback_ = value; }
    const std::string& PassiveFallbackReason() const { return PassiveFallbackReason_; }
    TNotifyEvent OnPassiveFallback;

    // TLS (ftp_tls.cpp). Off by default: the plain dialogue of RFC 959.
    TTlsMode TlsMode() const { return TlsMode_; }
    // Going into or out of implicit TLS also sets the port used when the
    // server names none: kImplicitTlsPort ("ftps"), else 21 ("ftp").
    void SetTlsMode(TTlsMode value);
    static constexpr std::uint16_t kImplicitTlsPort = 990;
    // A certificate with this SHA-256 fingerprint is accepted whatever its
    // name or issuer. Refuses a value that is not a fingerprint.
    const std::string& TrustedFingerprint() const { return TrustedFingerprint_; }
    void SetTrustedFingerprint(const std::string& value);
    // Under auto, TLS is required of a server whose certificate is pinned
    // (TrustedFingerprint) or that spoke TLS before: its owner remembers
    // that and says so here, with what the user can do to accept a server
    // that really dropped TLS (`howToAccept`, ending the message).
    void SetTlsRemembered(bool remembered, const std::string& howToAccept = {}) {
        TlsRemembered_ = remembered;
        TlsAcceptAdvice_ = howToAccept;
    }
    // Only the certificate with this fingerprint is accepted, whatever the
    // trust store says: a walk's further connections must meet the very
    // certificate its first connection accepted. Empty: none is imposed.
    void SetRequiredFingerprint(const std::string& value) { RequiredFingerprint_ = value; }
    // The fingerprint of the certificate the control connection accepted;
    // empty without TLS.
    std::string ServerFingerprint() const;
    // After the logon: the certificate was accepted by its fingerprint (or
    // by OnUntrustedCertificate) rather than by the trust store.
    bool CertificatePinned() const { return CertificatePinned_; }
    // "TLS 1.3, certificate verified", "... pinned"; empty without TLS.
    std::string TlsSummary() const;
    TqmCertificateEvent OnUntrustedCertificate;
    // The control connection's handshake is done and its certificate
    // accepted; nothing of the logon has been sent yet.
    TNotifyEvent OnSecured;
    // Under auto, the logon goes on in clear: why, and what that means
    // ("the server refused TLS (500 ...); going on without it: the password
    // travels in clear"). Empty when TLS is in use or switched off.
    const std::string& PlainLogonReason() const { return PlainLogonReason_; }
    // Fired when PlainLogonReason is set, before the user name is sent.
    TNotifyEvent OnPlainLogon;

    TNotifyEvent OnTransferStart;
    TqmProgressEvent OnTransferProgress;
    TNotifyEvent OnTransferEnd;

    void Connect();
    void Disconnect();
    void Login();
    // A logon that never waits, for a connection opened beside others that
    // are busy (ftp_logon.cpp): BeginLogon resolves the server and starts
    // the connect; each ContinueLogon takes the steps whose replies have
    // come, and says whether the logon is complete. Failures raise as
    // Connect's do, and so does the time-out, counted from BeginLogon. Two
    // waits remain inside: the rest of a reply whose first line has come,
    // and the TLS handshake's round trips.
    void BeginLogon();
    bool ContinueLogon();
    // How long the last logon took, from the connect to the last reply.
    double LogonSeconds() const { return LogonSeconds_; }
    void Logout();
    void ChangeDir(const std::string& dir);
    void ChangeDirUp();
    // CDUP and "CWD <dir>" sent together, and both replies read after: one
    // wait for the server instead of two. A refused CDUP raises with its
    // reply (once the CWD's is read, so the dialogue stays in step); a
    // refused CWD gives false, its reply in LastReply.
    bool ChangeDirUpAndInto(const std::string& dir);
    // Fetches and parses the listing of the working directory (ftp_list.cpp);
    // `options` ("-a") go with the command.
    void List(const std::string& options = {});
    // The listing of `path` from MLSD, into DirList, as List does.
    void ListMachine(const std::string& path);
    // The lines of FEAT's reply (RFC 2389); none when it is refused. Sent
    // once before the logon and once after it, whoever asks.
    std::vector<std::string> Features();
    // The bytes the user may still store, from "AVBL" (the streamlined FTP
    // command extensions draft) where FEAT lists it; nothing is sent
    // otherwise. None when not offered or refused; a 213 reply without a
    // number raises EServerError quoting it.
    std::optional<std::int64_t> AvailableSpace();
    // The working directory, from PWD's 257 reply (ftp_stat.cpp).
    std::string PrintWorkingDir();
    // The listing of `path` from "STAT <path>" over the control connection,
    // into `list`; raises EServerError unless the reply is 211 to 213.
    // `options` ("-a") go before the path.
    void StatList(const std::string& path, TznFTPDirList& list, const std::string& options = {});
    // The last STAT listing's reply named the very path it was sent for
    // ("212-Status of /dir001:"): it proves which command it answers.
    bool ListingNamedItsPath() const { return ListingNamedPath_; }

    // Commands sent ahead of their replies (ftp_ahead.cpp), each with the
    // reply it expects and its sender's `tag`; `path` is a listing's
    // directory. Nothing is queued when the send fails. The operations
    // above that wait for their reply are made while nothing is owed.
    void SendAhead(const std::string& command, Expect expects, std::string path = {}, int tag = 0);
    // The oldest command sent ahead, whose reply comes next.
    const SentAhead& NextAhead() const { return Ahead_.front(); }
    std::size_t AheadCount() const { return Ahead_.size(); }
    // That reply, judged by what its command expects; a listing goes into
    // `list`. A reply that the command does not allow for (a CWD or NOOP
    // refused) raises EServerError quoting it.
    Answer ReceiveAhead(TznFTPDirList* list = nullptr);
    // The commands still owed a reply, out of the queue: their replies will
    // not be read one by one (the connection ends or gets back in step).
    std::deque<SentAhead> TakeAhead();
    // Reads every reply still owed, so the dialogue is in step again; false
    // when a read failed, and the rest were left unread.
    bool DrainAhead();
    // A PWD, and every reply up to its "257", at most `mostReplies`; the
    // commands still owed are read past (TakeAhead them first to send
    // again what they were for). Raises EServerError when no "257" comes.
    void GetBackInStep(std::size_t mostReplies);
    [[noreturn]] void RaiseOutOfStep() const;

    void Open() override;

protected:
    void ResetState() override;

private:
    // Every command goes through the one queue of commands sent (ftp_ahead.cpp)
    // with the reply it expects, and each reply read is judged by its own
    // command's expectation (JudgeReply).
    struct Reply {
        std::int32_t Code;
        Answer Said;
    };
    void Send(SentAhead sent);
    // The oldest command's reply, read and judged; a STAT's listing goes
    // into `list`, and with `kept` every line of the reply is kept there.
    Reply Receive(TznFTPDirList* list, std::vector<std::string>* kept = nullptr);
    // A command that waits for its reply: sent, and its own reply read and
    // judged. Made when no other command is owed a reply.
    Reply Exchange(const std::string& command, Expect expects, std::vector<std::int32_t> codes = {},
                   std::vector<std::string>* kept = nullptr);

    // The logon's steps (ftp_logon.cpp): each command of the logon waits in
    // the queue marked with its step, taken when its reply has been read.
    enum class LogonStage : std::uint8_t { Greeting, ProxyOpen, AuthTls, User, Pass, Pbsz, Prot, Utf8 };
    void AwaitGreeting();
    void SendLogonCommand(const std::string& command, LogonStage stage, Expect expects,
                          std::vector<std::int32_t> codes = {});
    void TakeLogonReply();
    void AfterGreeting();
    void SendUser();
    void AfterLogon();
    void OpenThroughProxy();
    // Sends AUTH TLS where TLS is to be used; false when the logon goes on
    // without it (ftp_tls.cpp).
    bool BeginSecureLogon();
    // Under implicit TLS, the handshake right after the connect, so that
    // the greeting already comes through it.
    void StartImplicitTls();
    void ForgetLastTlsLogon();
    // AUTH TLS answered: `accepted` (234), the handshake.
    void FinishSecureLogon(bool accepted);
    bool TlsExpected() const;
    static std::string CertificateName(const std::string& host);
    void GoOnInClear(const std::string& why);
    [[noreturn]] void RefuseDowngrade(const std::string& change);
    bool ServerOffersTls();
    void AcceptCertificate();

    // A listing's data connection (ftp_data.cpp), opened for `command` in
    // the mode chosen, and secured where the session protects its data.
    void OpenDataConnection(const std::string& command);
    bool OpenActiveDataConnection(const std::string& command);
    void SendPort();
    bool AcceptDataConnection();
    bool NoteConnectBackFailure(const std::string& what);
    std::string ConnectBackFailed() const;  // what a failure's message adds
    void FallBackToPassive();
    void ConnectPassiveData();
    std::uint16_t AskPassivePort();
    // The data connection just opened becomes a TLS client connection that
    // resumes the control connection's session (ftp_tls.cpp).
    void SecureDataConnection();
    // One read of the data connection: the bytes, 0 at its end,
    // SOCKET_ERROR when nothing is there yet. Failures raise.
    int ReceiveDataChunk(char* buffer, int size);
    void CheckDataStreamEnd(const TlsChannel& channel);
    void Transfer(const std::string& command, bool machineListing);
    void ReceiveData(std::int32_t expectedSize);
    void CountListingChunk(std::string_view chunk, std::uint64_t& lines, std::uint64_t& bytes);

    // The reply to a "STAT <path>" sent earlier (commands sent ahead are
    // answered in order): the listing, or that the server has fallen out of
    // step (the reply names another directory, or is another command's
    // "200" or "257"), or that a line was longer than a reply line may be
    // and came cut.
    Reply ReceiveStatList(const SentAhead& sent, TznFTPDirList& list);

    std::string UserName_;
    std::string Password_;
    TTransferType TransferType_ = ftBinary;
    std::unique_ptr<ListingReader> ListingStream_;  // during a LIST only
    std::unique_ptr<TznDataConnection> Data_;       // during a LIST only
    std::unique_ptr<TznFTPDirList> DirList_;
    std::uint32_t TrasferBufferSize_ = 2048;
    bool UseProxy_ = false;
    std::string Proxy_;
    TFTPProxyType ProxyType_ = fpUserNoLogon;
    std::string RemoteHost_;
    bool Passive_ = false;
    std::string ConnectBackAdvice_;
    bool PassiveFallback_ = false;
    // EPSV and EPRT, from FEAT's first reply on this connection (the logon
    // does not change them), until the server refuses them: PASV and PORT
    // from then on.
    enum class Extended : std::uint8_t { Unknown, Listed, Refused };
    Extended Epsv_ = Extended::Unknown;
    Extended Eprt_ = Extended::Unknown;
    // "OPTS UTF8 ON" (RFC 2640) is sent once, where FEAT lists UTF8: a
    // server that keeps names in another encoding may then send UTF-8.
    // Names stay bytes either way: what a listing gave is what goes back.
    enum class Utf8Switch : std::uint8_t { NotOffered, Offered, Asked };
    Utf8Switch Utf8_ = Utf8Switch::NotOffered;
    bool LoggedOn_ = false;
    std::string PassiveFallbackReason_;
    TTlsMode TlsMode_ = tmOff;
    std::string TrustedFingerprint_;
    std::string RequiredFingerprint_;
    bool TlsRemembered_ = false;
    std::string TlsAcceptAdvice_;
    bool CertificatePinned_ = false;
    std::string PlainLogonReason_;
    // FEAT's reply, kept until the connection ends or the logon changes
    // what the server may offer (ftp_stat.cpp).
    std::optional<std::vector<std::string>> Features_;
    bool DataProtected_ = false;        // PROT P agreed: data connections use TLS
    std::string TlsHost_;               // the name the certificate must bear
    bool DataCloseNotifySeen_ = false;  // a data connection of this session ended with close_notify

    std::deque<SentAhead> Ahead_;   // sent, reply not read yet, oldest first
    bool LogonConnecting_ = false;  // BeginLogon's connect has not settled yet
    std::chrono::steady_clock::time_point LogonStarted_;
    double LogonSeconds_ = 0;
    bool ListingNamedPath_ = false;
};

}  // namespace zn
