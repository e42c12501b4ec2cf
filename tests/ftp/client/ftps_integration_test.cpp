// SPDX-License-Identifier: MIT
// Explicit FTP over TLS against real servers (vsftpd with TLS forced and
// session reuse required, pyftpdlib's TLS handler) with a certificate made
// for the test, and the refusals and waits around the handshake against a
// scripted server.

#include "tests/ftp/client/ftp_fixture.h"
#include "platform/messages.h"
#include "tests/fakes/pyftpd.h"
#include "tests/fakes/test_certificate.h"
#include "tests/fakes/vsftpd.h"
#include "tests/support/site_tree.h"
#include "walk/cwd_walker.h"

#include "tests/support/loopback.h"

#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

struct WalkTotals {
    std::int64_t bytes = 0, files = 0, directories = 0;
    std::string error;
    bool operator==(const WalkTotals&) const = default;
};

std::ostream& operator<<(std::ostream& out, const WalkTotals& t) {
    return out << t.bytes << " bytes, " << t.files << " files, " << t.directories << " directories" << t.error;
}

class FailureKeeper : public zn::WalkObserver {
public:
    void WalkFailed(const std::string& message) override { error = message; }
    std::string error;
};

WalkTotals WalkAll(zn::TznFTP& ftp) {
    FailureKeeper observer;
    zn::CwdWalker walker(ftp, observer, zn::WalkRules{{}});
    walker.Walk();
    const zn::WalkTotals& walked = walker.Totals();
    return {walked.TotalBytes, walked.TotalFiles, walked.Directories, observer.error};
}

// Forty directories, names with spaces among them, an empty one, and a
// file over 4 GiB (sparse).
WalkTotals MakeTree(testsupport::SiteTree& tree) {
    WalkTotals truth;
    for (int d = 0; d < 40; ++d) {
        const std::string dir = (d % 3 ? "dir " : "dir_") + std::to_string(d / 8) + "/sub " + std::to_string(d);
        tree.AddFile(dir + "/page.html", 100 + static_cast<std::uintmax_t>(d));
        truth.bytes += 100 + d;
        ++truth.files;
    }
    tree.AddDirectory("empty");
    tree.AddFile("huge.iso", 4294967296ULL);
    truth.bytes += 4294967296LL;
    ++truth.files;
    // The start, "dir k" and "dir_k" for each k of 0..4, the forty, "empty".
    truth.directories = 1 + 10 + 40 + 1;
    return truth;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The trust store of the process, for as long as the object lives.
class TrustStore {
public:
    explicit TrustStore(const std::string& file) { setenv("SSL_CERT_FILE", file.c_str(), 1); }
    ~TrustStore() { unsetenv("SSL_CERT_FILE"); }
};

// An FTP proxy of the "OPEN server" kind: it greets, takes "OPEN host:port",
// connects there and from then on passes the bytes both ways untouched, so
// that TLS runs end to end between the client and the server.
class OpenRelayProxy {
public:
    OpenRelayProxy() : listenFd_(testsupport::ListenOnLoopback(port_)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~OpenRelayProxy() {
        stop_ = true;
        thread_.join();
        close(listenFd_);
    }
    std::uint16_t Port() const { return port_; }

private:
    void Run() {
        if (!testsupport::WaitReadable(listenFd_, 5000, &stop_)) return;
        const int client = accept(listenFd_, nullptr, nullptr);
        testsupport::SendAll(client, "220 Proxy ready\r\n");
        std::string line;
        char c;
        while (testsupport::WaitReadable(client, 5000, &stop_) && read(client, &c, 1) == 1 && c != '\n') line += c;
        const std::size_t colon = line.rfind(':');
        const int server = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(line.c_str() + colon + 1)));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (line.rfind("OPEN ", 0) == 0 &&
            connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            Relay(client, server);
        }
        close(server);
        close(client);
    }

    void Relay(int a, int b) {
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        char buffer[16384];
        for (int rounds = 0; rounds < 100000 && !stop_; ++rounds) {
            if (poll(fds, 2, 50) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0 || !testsupport::SendAll(fds[1 - i].fd, std::string(buffer, static_cast<std::size_t>(n))))
                    return;
            }
        }
    }

    std::uint16_t port_ = 0;
    int listenFd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

TEST_F(FtpTest, TlsWalkOfVsftpdWithForcedTlsAndSessionReuseIsExactInBothModes) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    const WalkTotals truth = MakeTree(tree);
    testsupport::Vsftpd server(tree.Root(), certificate);
    if (server.Skipped()) GTEST_SKIP() << server.Error();
    ASSERT_TRUE(server.Running()) << server.Error();

    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ftp_->SetServer(server.Address());
        ftp_->SetUserName("anonymous");
        ftp_->SetTlsMode(zn::tmAuto);
        ftp_->SetTrustedFingerprint(certificate.Fingerprint());
        ftp_->SetPassive(passive);
        ftp_->Connect();
        EXPECT_EQ(ftp_->TlsSummary().substr(0, 4), "TLS ");
        EXPECT_TRUE(ftp_->CertificatePinned());
        // Every listing resumes the session: a second directory needs a
        // ticket from the first data connection, not the spent one.
        EXPECT_EQ(WalkAll(*ftp_), truth);
        ftp_->Disconnect();
    }
    const std::string log = server.Log();
    EXPECT_TRUE(Contains(log, "\"PROT P\"")) << log;
    EXPECT_FALSE(Contains(log, "session reuse required")) << log;
}

// Implicit TLS (vsftpd's implicit_ssl): the hello goes first and the
// greeting comes through TLS. An untrusted certificate ends the connection
// before a single command is sent; pinned, the walk is exact, its listings
// protected and resuming the session, and AUTH TLS is never sent.
TEST_F(FtpTest, TlsImplicitRefusesAnUntrustedCertificateBeforeAnyCommandAndWalksPinned) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    const WalkTotals truth = MakeTree(tree);
    testsupport::Vsftpd server(tree.Root(), certificate, {.implicitTls = true});
    if (server.Skipped()) GTEST_SKIP() << server.Error();
    ASSERT_TRUE(server.Running()) << server.Error();
    ftp_->SetServer(server.Address());
    ftp_->SetUserName("anonymous");
    ftp_->SetTlsMode(zn::tmImplicit);

    events_.clear();
    const std::string refused = MessageOf<zn::ESocketError>([&] { ftp_->Connect(); });
    EXPECT_TRUE(Contains(refused, "not trusted (self-signed certificate)")) << refused;
    EXPECT_FALSE(ftp_->Connected());
    EXPECT_TRUE(
        std::none_of(events_.begin(), events_.end(), [](const std::string& e) { return e.rfind("> ", 0) == 0; }));

    ftp_->SetTrustedFingerprint(certificate.Fingerprint());
    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ftp_->SetPassive(passive);
        ftp_->Connect();
        EXPECT_TRUE(Contains(ftp_->TlsSummary(), "certificate pinned")) << ftp_->TlsSummary();
        EXPECT_EQ(WalkAll(*ftp_), truth);
        ftp_->Disconnect();
    }
    const std::string log = server.Log();
    EXPECT_TRUE(Contains(log, "\"PROT P\"")) << log;
    EXPECT_FALSE(Contains(log, "AUTH")) << log;
    EXPECT_FALSE(Contains(log, "session reuse required")) << log;
}

TEST_F(FtpTest, TlsWalkOfPyftpdlibIsExactInBothModesAndTheNameIsChecked) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    const WalkTotals truth = MakeTree(tree);
    testsupport::PyFtpd server(tree.Root().string(), "webmaster", "pass word", certificate.KeyAndCertFile());
    ASSERT_TRUE(server.Running()) << server.Error();
    TrustStore store(certificate.CertFile());

    ftp_->SetUserName("webmaster");
    ftp_->SetPassword("pass word");
    ftp_->SetTlsMode(zn::tmRequire);
    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ftp_->SetServer(server.Address());
        ftp_->SetPassive(passive);
        ftp_->Connect();
        EXPECT_TRUE(Contains(ftp_->TlsSummary(), ", certificate verified")) << ftp_->TlsSummary();
        EXPECT_EQ(WalkAll(*ftp_), truth);
        ftp_->Disconnect();
    }

    // The same certificate under a name it does not bear.
    events_.clear();
    ftp_->SetServer("localhost:" + std::to_string(server.Port()));
    const std::string message = MessageOf<zn::ESocketError>([&] { ftp_->Connect(); });
    EXPECT_TRUE(Contains(message, "hostname mismatch")) << message;
    EXPECT_TRUE(Contains(message, certificate.Fingerprint())) << message;
    EXPECT_FALSE(ftp_->Connected());
    EXPECT_TRUE(
        std::none_of(events_.begin(), events_.end(), [](const std::string& e) { return e.rfind("> USER", 0) == 0; }));

    // An address typed in a short, numeric or octal form is checked as the
    // address the connection reached, never skipped.
    const std::string port = ":" + std::to_string(server.Port());
    for (const std::string form : {"127.1", "2130706433", "0177.0.0.1"}) {
        SCOPED_TRACE(form);
        ftp_->SetServer(form + port);
        ftp_->Connect();
        EXPECT_TRUE(Contains(ftp_->TlsSummary(), ", certificate verified")) << ftp_->TlsSummary();
        ftp_->Disconnect();
    }
    testsupport::TestCertificate named("DNS:ftp.example.org");
    ASSERT_TRUE(named.Made());
    testsupport::PyFtpd namedServer(tree.Root().string(), "webmaster", "pass word", named.KeyAndCertFile());
    ASSERT_TRUE(namedServer.Running()) << namedServer.Error();
    setenv("SSL_CERT_FILE", named.CertFile().c_str(), 1);
    for (const std::string form : {"127.0.0.1", "127.1", "2130706433"}) {
        SCOPED_TRACE(form);
        ftp_->SetServer(form + ":" + std::to_string(namedServer.Port()));
        const std::string refused = MessageOf<zn::ESocketError>([&] { ftp_->Connect(); });
        EXPECT_TRUE(Contains(refused, "not trusted (IP address mismatch)")) << refused;
    }
}

// Once the server has ended a data connection with close_notify, one that
// ends with a bare close may have been cut on the way: the walk fails
// rather than count a shortened listing as whole.
TEST_F(FtpTest, TlsDataConnectionWithoutCloseNotifyAfterOneWithItFailsTheWalk) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    tree.AddFile("a/b.html", 1234);
    tree.AddFile("c.html", 10);
    testsupport::PyFtpd server(tree.Root().string(), "user", "secret", certificate.KeyAndCertFile(), 0, false, false,
                               true);
    ASSERT_TRUE(server.Running()) << server.Error();
    ftp_->SetServer(server.Address());
    ftp_->SetTlsMode(zn::tmRequire);
    ftp_->SetTrustedFingerprint(certificate.Fingerprint());
    ftp_->SetPassive(true);
    ftp_->Connect();
    const WalkTotals walked = WalkAll(*ftp_);
    EXPECT_TRUE(Contains(walked.error, "ended without close_notify, which this server sent before")) << walked;
    EXPECT_FALSE(ftp_->Connected());
}

// Behind an "OPEN server" proxy the certificate must name the server, not
// the proxy: here the proxy is reached as "localhost", a name the
// certificate (for 127.0.0.1) does not bear.
TEST_F(FtpTest, TlsThroughAnOpenProxyChecksTheServersName) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    tree.AddFile("a/b.html", 1234);
    testsupport::PyFtpd server(tree.Root().string(), "user", "secret", certificate.KeyAndCertFile());
    ASSERT_TRUE(server.Running()) << server.Error();
    TrustStore store(certificate.CertFile());
    OpenRelayProxy proxy;
    ftp_->SetServer(server.Address());
    ftp_->SetProxy("localhost:" + std::to_string(proxy.Port()));
    ftp_->SetUseProxy(true);
    ftp_->SetProxyType(zn::fpProxyOpen);
    ftp_->SetTlsMode(zn::tmRequire);
    ftp_->SetPassive(true);
    ftp_->Connect();
    EXPECT_TRUE(Contains(ftp_->TlsSummary(), "certificate verified")) << ftp_->TlsSummary();
    EXPECT_EQ(WalkAll(*ftp_), (WalkTotals{1234, 1, 2, ""}));
    ftp_->Disconnect();
}

TEST_F(FtpTest, TlsUntrustedCertificateStopsTheLogonBeforeTheUserNameUnlessPinned) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    tree.AddFile("index.html", 10);
    // Many reply lines in few TLS reads: the lines after the first are
    // already decrypted when they are waited for, and no socket event
    // will come for them.
    std::string message;
    for (int i = 0; i < 100; ++i) message += "Line " + std::to_string(i) + " of the welcome\n";
    tree.AddDirectory("news");
    std::ofstream(tree.Root() / "news" / ".message") << message;
    testsupport::Vsftpd server(tree.Root(), certificate);
    if (server.Skipped()) GTEST_SKIP() << server.Error();
    ASSERT_TRUE(server.Running()) << server.Error();
    ftp_->SetServer(server.Address());
    ftp_->SetUserName("anonymous");
    ftp_->SetTlsMode(zn::tmAuto);

    const std::string refused = MessageOf<zn::ESocketError>([&] { ftp_->Connect(); });
    EXPECT_TRUE(Contains(refused, "not trusted (self-signed certificate)")) << refused;
    EXPECT_TRUE(Contains(refused, certificate.Fingerprint())) << refused;
    EXPECT_TRUE(Contains(refused, "subject CN=127.0.0.1")) << refused;
    EXPECT_FALSE(ftp_->Connected());
    // The session has ended once the client has gone; its log is complete.
    testsupport::WaitUntil([&] { return Contains(server.Log(), "AUTH TLS"); }, 5);
    const std::string refusedLog = server.Log();
    EXPECT_TRUE(Contains(refusedLog, "\"AUTH TLS\"")) << refusedLog;
    EXPECT_FALSE(Contains(refusedLog, "\"USER")) << refusedLog;
    EXPECT_FALSE(Contains(refusedLog, "\"PASS")) << refusedLog;

    // A handler may accept it for this connection, as the window's box does.
    std::string offered;
    ftp_->OnUntrustedCertificate = [&](zn::TObject*, const zn::TlsCertificate& c, bool& trust) {
        offered = c.Fingerprint;
        trust = true;
    };
    ftp_->Connect();
    EXPECT_EQ(offered, certificate.Fingerprint());
    EXPECT_TRUE(ftp_->CertificatePinned());
    ftp_->Disconnect();

    // Pinned by its fingerprint, as the user types it, it needs no handler.
    ftp_->OnUntrustedCertificate = nullptr;
    std::string typed = certificate.Fingerprint().substr(7);
    typed.erase(std::remove(typed.begin(), typed.end(), ':'), typed.end());
    for (char& c : typed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ftp_->SetTrustedFingerprint(typed);
    ftp_->Connect();
    EXPECT_TRUE(Contains(ftp_->TlsSummary(), "certificate pinned"));
    ftp_->List();
    EXPECT_EQ(ftp_->DirList().Count(), 2);
    ftp_->ChangeDir("news");
    EXPECT_EQ(ftp_->LastReply(), "250 Directory successfully changed.");
    ftp_->Disconnect();
}

TEST_F(FtpTest, TlsRequireEndsARefusedLogonAndAutoGoesOnInClearSayingSo) {
    testsupport::SiteTree tree;
    tree.AddFile("a.html", 5);
    testsupport::PyFtpd plain(tree.Root().string(), "user", "secret");
    ASSERT_TRUE(plain.Running()) << plain.Error();
    ftp_->SetServer(plain.Address());
    ftp_->SetTlsMode(zn::tmRequire);
    const std::string message = MessageOf<zn::ESocketError>([&] { ftp_->Connect(); });
    EXPECT_EQ(message.substr(0, 48), "TLS is required, but the server refused it: 500 ");
    EXPECT_FALSE(ftp_->Connected());

    // Auto against a server without TLS: the plain logon.
    ftp_->SetTlsMode(zn::tmAuto);
    ftp_->Connect();
    EXPECT_FALSE(ftp_->TlsActive());
    ftp_->List();
    EXPECT_EQ(ftp_->DirList().Count(), 1);
    ftp_->Disconnect();

    // Auto, where the server offers TLS and then refuses it (pure-ftpd as
    // Debian ships it, without a certificate): the logon goes on in clear,
    // and the owner hears of it before the user name goes.
    testsupport::ScriptedServer server;
    server.Reply("220 Ready").Receive().Send("211-Features:\r\n AUTH TLS\r\n PBSZ\r\n211 End\r\n").Receive();
    server.Reply("500 This security scheme is not implemented").Receive().Reply("331 Password?").Receive();
    server.Reply("230 Logged in").Receive().Reply("221 Bye").AwaitClientClose();
    server.Start();
    ftp_->SetServer(server.Address());
    events_.clear();
    ftp_->OnPlainLogon = [&](zn::TObject*) { events_.push_back("OnPlainLogon " + ftp_->PlainLogonReason()); };
    ftp_->Connect();
    EXPECT_FALSE(ftp_->TlsActive());
    const std::string told =
        "OnPlainLogon the server refused TLS (500 This security scheme is not implemented); "
        "going on without it: the password travels in clear";
    const auto at = std::find(events_.begin(), events_.end(), told);
    EXPECT_LT(at, std::find(events_.begin(), events_.end(), "> USER user"));
    ftp_->Disconnect();
    ftp_->OnPlainLogon = nullptr;
    ASSERT_TRUE(server.Finished(5));
    EXPECT_EQ(server.Received(), (Lines{"FEAT", "AUTH TLS", "USER user", "PASS secret", "QUIT"}));

    // Where TLS is expected, auto refuses what it would otherwise accept: a
    // pinned certificate, or a server that spoke TLS before.
    for (const bool pinned : {true, false}) {
        for (const bool offered : {true, false}) {
            SCOPED_TRACE(std::string(pinned ? "pinned, " : "remembered, ") + (offered ? "refused" : "not offered"));
            testsupport::ScriptedServer downgraded;
            downgraded.Reply("220 Ready").Receive();
            downgraded.Send(offered ? "211-Features:\r\n AUTH TLS\r\n211 End\r\n"
                                    : "211-Features:\r\n PBSZ\r\n211 End\r\n");
            if (offered) downgraded.Receive().Reply("500 This security scheme is not implemented");
            downgraded.AwaitClientClose();
            downgraded.Start();
            ftp_->SetServer(downgraded.Address());
            ftp_->SetTrustedFingerprint(pinned ? std::string(64, 'A') : std::string());
            ftp_->SetTlsRemembered(!pinned, "run with --tls off");
            const std::string change =
                offered ? "refused TLS (500 This security scheme is not implemented)" : "does not offer TLS";
            std::string expected =
                pinned ? "A certificate is pinned for this server, so TLS is required, but the server " + change
                       : "This server spoke TLS before, and now it " + change +
                             ". Someone between you and the server may be removing TLS";
            expected += "; the logon stopped before the user name and password were sent";
            if (!pinned) expected += ". If the server really changed, run with --tls off";
            EXPECT_EQ(MessageOf<zn::ESocketError>([&] { ftp_->Connect(); }), expected);
            ASSERT_TRUE(downgraded.Finished(5));
            EXPECT_EQ(downgraded.Received(), offered ? (Lines{"FEAT", "AUTH TLS"}) : (Lines{"FEAT"}));
        }
    }
    ftp_->SetTrustedFingerprint({});
    ftp_->SetTlsRemembered(false);

    // A server that agrees, then closes instead of answering the hello.
    testsupport::ScriptedServer closing;
    closing.Reply("220 Ready").Receive().Reply("234 Go ahead").Close();
    closing.Start();
    ftp_->SetServer(closing.Address());
    ftp_->SetTlsMode(zn::tmRequire);
    EXPECT_EQ(MessageOf<zn::ESocketError>([&] { ftp_->Connect(); }),
              "The server closed the connection during the TLS handshake");
    ASSERT_TRUE(closing.Finished(5));

    // Bytes in clear right behind the 234 (someone on the path injecting a
    // reply for later) are refused, never read as if they came through TLS.
    testsupport::ScriptedServer injecting;
    injecting.Reply("220 Ready").Receive().Send("234 Go ahead\r\n230 Logged in\r\n").AwaitClientClose();
    injecting.Start();
    ftp_->SetServer(injecting.Address());
    ftp_->SetTlsMode(zn::tmRequire);
    EXPECT_EQ(MessageOf<zn::ESocketError>([&] { ftp_->Connect(); }),
              "The server sent data in clear after agreeing to TLS; the connection was closed");
    EXPECT_FALSE(ftp_->Connected());
    ASSERT_TRUE(injecting.Finished(5));
}

TEST_F(FtpTest, TlsHandshakeTimesOutAndCancels) {
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "time-out");
        testsupport::ScriptedServer server;
        // The server agrees, then never answers the client's hello.
        server.Reply("220 Ready").Receive().Reply("234 Go ahead").Delay(4000);
        server.Start();
        ftp_->SetServer(server.Address());
        ftp_->SetTlsMode(zn::tmRequire);
        ftp_->SetTimeOut(1);
        if (cancel) QTimer::singleShot(200, [this] { ftp_->Cancel(); });
        const auto started = std::chrono::steady_clock::now();
        if (cancel) {
            EXPECT_THROW(ftp_->Connect(), zn::ECanceledError);
        } else {
            EXPECT_EQ(MessageOf<zn::ETimedOutError>([&] { ftp_->Connect(); }), "Operation timed out (TLS handshake)");
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
        EXPECT_FALSE(ftp_->Connected());
        EXPECT_EQ(server.Received(), (Lines{"AUTH TLS"}));
    }
}
