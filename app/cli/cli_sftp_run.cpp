// SPDX-License-Identifier: MIT
#include "app/cli/cli_sftp_run.h"

#include "app/cli/cli_dial.h"
#include "app/cli/cli_interrupt.h"
#include "app/cli/cli_observer.h"
#include "app/cli/cli_password.h"
#include "app/cli/cli_terminal_text.h"
#include "app/cli/cli_walk_report.h"
#include "net/core/errors.h"
#include "platform/component.h"
#include "platform/messages.h"
#include "ssh/sftp_connection.h"
#include "ssh/ssh_way_in.h"
#include "walk/sftp_site_run.h"

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <ostream>

namespace cli {
namespace {

// As ssh does, the user of the URL, else the one running the program; but
// first, as for FTP, the login of a ~/.netrc entry for the machine, whose
// password then goes with it.
Credentials SshLogin(const Options& options, const Environment& environment, std::ostream& err) {
    if (!options.user.empty()) return {options.user, {}};
    std::string error;
    if (auto login = NetrcLoginFor(options.host, environment.passwords, error)) return *login;
    if (!error.empty()) err << "dirweigh-cli: " << error << '\n';
    const passwd* entry = getpwuid(getuid());
    return {entry ? entry->pw_name : "", {}};
}

// The most directories the walk has on the way: a knob for the benchmark
// alone, which times the walk that waits for each reply beside the default.
std::size_t DirectoriesInFlight() {
    const char* given = std::getenv("DIRWEIGH_SFTP_IN_FLIGHT");
    const long count = given ? std::strtol(given, nullptr, 10) : 0;
    return count > 0 ? static_cast<std::size_t>(count) : zn::SftpWalker::kOpen;
}

// Whether every further connection --connections allows is opened at once,
// whether it pays or not: a knob for the tests, whose trees are too small
// for one to pay.
bool FurtherConnectionsAtOnce() {
    const char* given = std::getenv("DIRWEIGH_SFTP_FURTHER_AT_ONCE");
    return given && std::string(given) == "1";
}

// The server's host key must be one the user's known_hosts or DirWeigh's
// own holds, or the one --ssh-host-key names; anything else ends the run
// here, before any password or key leaves the machine.
bool Vouch(const zn::SshHostKey& key, bool known, const Options& options) {
    const std::string& given = options.sshHostKey;
    if (!given.empty() && given != key.Fingerprint) {
        throw zn::ESocketError("the " + key.Type + " host key of " + options.host + " is " + key.Fingerprint +
                               ", not the " + given + " given with --ssh-host-key; nothing was sent");
    }
    if (known) return true;
    if (given.empty()) {
        throw zn::ESocketError("the " + key.Type + " host key of " + options.host + " is not known (" +
                               key.Fingerprint + "); where that is the server's key, run again with --ssh-host-key " +
                               key.Fingerprint + " to trust it");
    }
    return true;
}

// The password from where an FTP logon takes it, asked for only when the
// server wants one; a .netrc login brought its own.
std::optional<std::string> Password(const Credentials& login, const Options& options, const Environment& environment) {
    if (!login.password.empty()) return login.password;
    std::string error;
    const std::optional<Credentials> credentials =
        ResolveCredentials(login.user, options.host, options.passwordFile, environment.passwords, error);
    if (!credentials) throw zn::EServerError(error);
    return credentials->password;
}

zn::SshAnswers Answers(const Credentials& login, const Options& options, const Environment& environment,
                       std::ostream& err) {
    zn::SshAnswers answers;
    answers.Vouch = [&options](const zn::SshHostKey& key, bool known) { return Vouch(key, known, options); };
    answers.Password = [&login, &options, &environment] { return Password(login, options, environment); };
    // A passphrase is typed at the terminal, as ssh asks for it; it is not
    // the server's password, so no password source stands in for it.
    answers.Passphrase = [&environment](const std::string& file) {
        return environment.passwords.prompt ? environment.passwords.prompt("Enter passphrase for key '" + file + "': ")
                                            : std::nullopt;
    };
    answers.Note = [&err](const std::string& note) { err << "dirweigh-cli: " << note << '\n'; };
    return answers;
}

// Dials, connects, checks the host, logs on and walks.
void ConnectAndWalk(zn::SftpSiteRun& run, DialUp& dialUp, const Options& options, const Environment& environment,
                    const Credentials& login, std::ostream& err) {
    dialUp.Dial();
    const zn::SshTarget target{options.host, login.user, environment.sshDirectory, environment.sshKnownHostsFile};
    zn::SshAnswers answers = Answers(login, options, environment, err);
    if (options.verbose) answers.Step = [&err](const std::string& line) { err << line << '\n'; };
    run.Connect(target, answers, options.timeoutSeconds);
    run.Walk();
}

}  // namespace

int WalkSftpAndReport(const Options& options, const Environment& environment, std::ostream& out, std::ostream& err) {
    platform::EnsureApplication();
    CliObserver observer(err, options.host, environment.progressOnTerminal && !options.verbose, options.verbose);
    zn::WalkRules rules{options.excludes};
    rules.GoOnPastUnreadable = true;
    std::unique_ptr<zn::WalkTree> tree = TreeIfNeeded(options, environment);
    rules.Tree = tree.get();
    // Made before the dial, so that a Ctrl-C meanwhile ends the connect.
    zn::SftpConnection connection;
    zn::SftpSiteRun run(
        connection, observer,
        {std::move(rules), options.dir, DirectoriesInFlight(), options.connections, FurtherConnectionsAtOnce()});
    observer.totals = [&run]() -> const zn::WalkTotals& { return run.Totals(); };
    platform::TComponent owner(nullptr);
    DialUp dialUp(owner, options.dial, err, options.verbose);
    bool interrupted = false;
    std::optional<InterruptToCancel> interrupt;
    CancelOnLinkDownOrInterrupt(
        dialUp, observer, [&run] { run.Cancel(); }, environment.handleInterrupt, interrupt, interrupted);
    bool failed = false;
    const Credentials login = SshLogin(options, environment, err);
    const auto started = std::chrono::steady_clock::now();
    try {
        ConnectAndWalk(run, dialUp, options, environment, login, err);
    } catch (const std::exception& e) {
        observer.WalkFailed(e.what());
        failed = true;
    }
    observer.ClearProgress();
    const bool aborted = failed || run.Totals().Aborted;
    Outcome outcome{
        TotalsOf(run.Totals(), aborted, observer), std::move(observer.du), tree.get(), {}, true, run.Start(), {}};
    outcome.totals.listing = run.Method();
    outcome.checkRun.loggedOn = run.LoggedOn();
    outcome.checkRun.interrupted = interrupted;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    outcome.written = options.monitor.prometheusFile.empty() ||
                      WritePrometheus(options, outcome.totals, outcome.du, seconds, out, err);
    const int status = Report(options, environment, login.user, outcome, out, err);
    out << std::flush;
    // As for FTP: the walk is kept before the server ends its session.
    outcome.keeping.Finish(err);
    connection.Close();
    dialUp.HangUp();
    return status;
}

}  // namespace cli
