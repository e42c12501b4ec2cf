// SPDX-License-Identifier: MIT
#include "app/cli/cli_sftp_run.h"

#include "app/cli/cli_dial.h"
#include "app/cli/cli_interrupt.h"
#include "app/cli/cli_observer.h"
#include "app/cli/cli_password.h"
#include "app/cli/cli_terminal_text.h"
#include "app/cli/cli_tls_servers.h"
#include "app/cli/cli_walk_report.h"
#include "net/core/errors.h"
#include "net/core/server_key.h"
#include "platform/component.h"
#include "platform/messages.h"
#include "ssh/known_hosts.h"
#include "ssh/sftp_channel.h"
#include "ssh/ssh_session.h"
#include "walk/sftp_walker.h"

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>

namespace cli {
namespace {

constexpr std::uint16_t kSshPort = 22;

// As ssh does: the user of the URL, else the one running the program.
std::string SshUser(const Options& options) {
    if (!options.user.empty()) return options.user;
    const passwd* entry = getpwuid(getuid());
    return entry ? entry->pw_name : "";
}

std::uint16_t PortOf(const std::string& server) {
    const std::int32_t port = zn::ServerPort(server);
    return port > 0 ? static_cast<std::uint16_t>(port) : kSshPort;
}

// The most directories the walk has on the way: a knob for the benchmark
// alone, which times the walk that waits for each reply beside the default.
std::size_t DirectoriesInFlight() {
    const char* given = std::getenv("DIRWEIGH_SFTP_IN_FLIGHT");
    const long count = given ? std::strtol(given, nullptr, 10) : 0;
    return count > 0 ? static_cast<std::size_t>(count) : zn::SftpWalker::kOpen;
}

std::vector<std::string> KnownHostsFiles(const Environment& environment) {
    const std::string user = environment.sshDirectory.empty() ? "" : environment.sshDirectory + "/known_hosts";
    return {user, environment.sshKnownHostsFile};
}

// The server's host key must be one the user's known_hosts or DirWeigh's
// own holds, or the one --ssh-host-key names; anything else ends the run
// here, before any password or key leaves the machine.
void TrustHost(zn::SshSession& ssh, const Options& options, const Environment& environment, std::ostream& err) {
    const zn::SshHostKey& key = ssh.HostKey();
    const std::string host = zn::ServerHost(options.host);
    const std::uint16_t port = PortOf(options.host);
    const zn::HostKeyCheck check = zn::CheckHostKey(ssh.Handle(), KnownHostsFiles(environment), host, port, key);
    const std::string given = options.sshHostKey;
    if (check.Verdict == zn::HostKeyVerdict::Changed) {
        throw zn::ESocketError("WARNING: the " + key.Type + " host key of " + options.host +
                               " has changed: it is now " + key.Fingerprint + ", not the key kept in " + check.File +
                               ". Someone may be listening in, or the server has a new key; nothing was sent. "
                               "Where the change is known, remove the server's line from " +
                               check.File);
    }
    if (!given.empty() && given != key.Fingerprint) {
        throw zn::ESocketError("the " + key.Type + " host key of " + options.host + " is " + key.Fingerprint +
                               ", not the " + given + " given with --ssh-host-key; nothing was sent");
    }
    if (check.Verdict == zn::HostKeyVerdict::Known) return;
    if (given.empty()) {
        throw zn::ESocketError("the " + key.Type + " host key of " + options.host + " is not known (" +
                               key.Fingerprint + "); where that is the server's key, run again with --ssh-host-key " +
                               key.Fingerprint + " to trust it");
    }
    std::string error;
    if (!environment.sshKnownHostsFile.empty() &&
        !zn::AddHostKey(ssh.Handle(), environment.sshKnownHostsFile, host, port, key, error)) {
        err << "dirweigh-cli: " << options.host << ": cannot remember the host key: " << error << '\n';
    }
}

bool Offers(const std::string& methods, const std::string& method) {
    return ("," + methods + ",").find("," + method + ",") != std::string::npos;
}

// The agent's keys, then the user's own without a passphrase, then the
// password, asked for only now, as ssh does.
bool LogOnWithKeys(zn::SshSession& ssh, const std::string& user, const Environment& environment) {
    if (std::getenv("SSH_AUTH_SOCK") && ssh.LogOnWithAgent(user)) return true;
    if (environment.sshDirectory.empty()) return false;
    for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
        const std::string file = environment.sshDirectory + "/" + name;
        if (std::filesystem::exists(file) && ssh.LogOnWithKeyFile(user, file)) return true;
    }
    return false;
}

void LogOn(zn::SshSession& ssh, const std::string& user, const Options& options, const Environment& environment) {
    const std::string methods = ssh.Methods(user);
    if (ssh.LoggedOn()) return;
    if (Offers(methods, "publickey") && LogOnWithKeys(ssh, user, environment)) return;
    if (!Offers(methods, "password")) {
        throw zn::EServerError("the server let " + user + " in with none of its keys, and takes no password (" +
                               methods + ")");
    }
    std::string error;
    const std::optional<Credentials> credentials =
        ResolveCredentials(user, options.host, options.passwordFile, environment.passwords, error);
    if (!credentials) throw zn::EServerError(error);
    if (!ssh.LogOnWithPassword(user, credentials->password)) {
        throw zn::EServerError("the server refused the password of " + user);
    }
}

// Dials, connects, checks the host, logs on and walks.
void ConnectAndWalk(zn::SshSession& ssh, zn::SftpWalker& walker, zn::SftpChannel& channel, DialUp& dialUp,
                    const Options& options, const Environment& environment, std::ostream& err) {
    dialUp.Dial();
    ssh.SetTimeOut(options.timeoutSeconds);
    ssh.PreferHostKeys(zn::KnownKeyAlgorithms(ssh.Handle(), KnownHostsFiles(environment), zn::ServerHost(options.host),
                                              PortOf(options.host)));
    ssh.Connect(zn::ServerHost(options.host), PortOf(options.host));
    if (options.verbose) err << "SSH: " << ssh.HostKey().Type << " host key " << ssh.HostKey().Fingerprint << '\n';
    TrustHost(ssh, options, environment, err);
    LogOn(ssh, SshUser(options), options, environment);
    channel.Open();
    walker.Walk();
}

}  // namespace

std::string SshDirectory() {
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.ssh" : std::string();
}

std::string SshKnownHostsFile() {
    const std::string tls = TlsServersFile();
    return tls.empty() ? tls : std::filesystem::path(tls).replace_filename("known_hosts").string();
}

int WalkSftpAndReport(const Options& options, const Environment& environment, std::ostream& out, std::ostream& err) {
    platform::EnsureApplication();
    CliObserver observer(err, options.host, environment.progressOnTerminal && !options.verbose, options.verbose);
    zn::WalkRules rules{options.excludes};
    rules.GoOnPastUnreadable = true;
    std::unique_ptr<zn::WalkTree> tree = TreeIfNeeded(options, environment);
    rules.Tree = tree.get();
    zn::SshSession ssh;
    zn::SftpChannel channel(ssh);
    std::optional<zn::SftpWalker> walker;
    walker.emplace(channel, observer, std::move(rules), options.dir, DirectoriesInFlight());
    walker->OnDialogue = [&observer](bool sent, const std::string& line) {
        sent ? observer.LineSent("", line) : observer.LineReceived("", line);
    };
    observer.totals = [&walker]() -> const zn::WalkTotals& { return walker->Totals(); };
    platform::TComponent owner(nullptr);
    DialUp dialUp(owner, options.dial, err, options.verbose);
    // A link that went down leaves the walk nothing to wait for.
    dialUp.OnLinkDown([&ssh, &dialUp, &observer] {
        observer.WalkFailed(dialUp.LinkDown());
        ssh.Cancel();
    });
    bool interrupted = false;
    std::optional<InterruptToCancel> interrupt;
    if (environment.handleInterrupt) {
        interrupt.emplace(
            [&ssh, &dialUp] {
                dialUp.Cancel();
                ssh.Cancel();
            },
            interrupted);
    }
    bool failed = false;
    const auto started = std::chrono::steady_clock::now();
    try {
        ConnectAndWalk(ssh, *walker, channel, dialUp, options, environment, err);
    } catch (const std::exception& e) {
        observer.WalkFailed(e.what());
        failed = true;
    }
    observer.ClearProgress();
    const bool aborted = failed || walker->Totals().Aborted;
    Outcome outcome{
        TotalsOf(walker->Totals(), aborted, observer), std::move(observer.du), tree.get(), {}, true, walker->Start()};
    outcome.totals.listing = walker->Method();
    outcome.checkRun.loggedOn = ssh.LoggedOn();
    outcome.checkRun.interrupted = interrupted;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    outcome.written = options.monitor.prometheusFile.empty() ||
                      WritePrometheus(options, outcome.totals, outcome.du, seconds, out, err);
    const int status = Report(options, environment, SshUser(options), outcome, out, err);
    out << std::flush;
    channel.Close();
    ssh.Close();
    dialUp.HangUp();
    return status;
}

}  // namespace cli
