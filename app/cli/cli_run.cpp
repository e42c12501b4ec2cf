// SPDX-License-Identifier: MIT
#include "app/cli/cli_run.h"

#include "app/cli/cli_breakdown.h"
#include "app/cli/cli_check.h"
#include "app/cli/cli_compare.h"
#include "app/cli/cli_dial.h"
#include "app/cli/cli_interrupt.h"
#include "app/cli/cli_observer.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_prometheus.h"
#include "app/cli/cli_report.h"
#include "app/cli/cli_sftp_run.h"
#include "app/cli/cli_terminal_text.h"
#include "app/cli/cli_tls_servers.h"
#include "app/cli/cli_walk_report.h"
#include "ftp/client/connection_profile.h"
#include "platform/messages.h"
#include "sitetree/site_history.h"
#include "walk/site_run.h"

#include <cctype>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <utility>
#include <vector>

namespace cli {
namespace {

zn::TTlsMode TlsMode(TlsChoice choice) {
    switch (choice) {
        case TlsChoice::Off: return zn::tmOff;
        case TlsChoice::Require: return zn::tmRequire;
        case TlsChoice::Implicit: return zn::tmImplicit;
        case TlsChoice::Auto: break;
    }
    return zn::tmAuto;
}

// Paths as the server named them, for a program reading them; escaped
// where a terminal shows them.
std::vector<DuLine> ShownDuLines(std::vector<DuLine> du, bool onTerminal) {
    if (onTerminal) {
        for (DuLine& line : du) line.path = TerminalSafe(line.path);
    }
    return du;
}

void Print(const Options& options, const Totals& totals, const std::vector<DuLine>& du, std::ostream& out) {
    // Nothing was listed (refused connection, failed logon): a 0 on its own
    // would read as an empty site. JSON says complete false with the error.
    const bool nothingMeasured = !totals.complete && totals.directories == 0;
    if (nothingMeasured && options.format != OutputFormat::Json) return;
    switch (options.format) {
        case OutputFormat::Bytes: out << totals.bytes << '\n'; break;
        case OutputFormat::Json: out << JsonObject(totals) << '\n'; break;
        case OutputFormat::Du: out << DuListing(du, options.maxDepth); break;
        case OutputFormat::Line: out << SummaryLine(totals) << '\n'; break;
    }
}

// Why a walk that went to its end is not exact; empty when it is.
std::string NotWholeReason(const zn::WalkTotals& walked) {
    std::vector<std::string> reasons;
    const auto counted = [](std::int64_t n, const char* what) {
        return std::to_string(n) + (n == 1 ? " directory " : " directories ") + what;
    };
    if (walked.UnreadableDirectories > 0) reasons.push_back(counted(walked.UnreadableDirectories, "could not be read"));
    if (walked.CutDirectories > 0) reasons.push_back(counted(walked.CutDirectories, "listed only in part"));
    if (walked.Saturated()) {
        reasons.emplace_back("the total passes " + std::to_string(walked.TotalBytes) + " bytes and is not exact");
    }
    std::string text;
    for (const std::string& reason : reasons) text += (text.empty() ? "" : "; ") + reason;
    return text;
}

// The space left, where the server tells it. Asked after a whole walk
// only; a server that answers it badly spoils nothing of the walk.
std::optional<std::int64_t> AskAvailableSpace(zn::SiteRun& run, const std::string& host, std::ostream& err) {
    zn::SpaceLeft left = run.AskSpaceLeft();
    if (!left.Asked) err << "dirweigh-cli: " << host << ": the space left is not known: " << left.Why << '\n';
    return left.Bytes;
}

}  // namespace

bool WritePrometheus(const Options& options, const Totals& totals, const std::vector<DuLine>& du, double seconds,
                     std::ostream& out, std::ostream& err) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const PrometheusWalk walk{options.host,
                              options.dir.empty() ? "/" : options.dir,
                              totals,
                              du,
                              options.maxDepth >= 0 ? options.maxDepth : 1,
                              seconds,
                              std::chrono::duration<double>(now).count()};
    if (options.monitor.prometheusFile == "-") return static_cast<bool>(out << PrometheusText(walk, {}) << std::flush);
    std::string error;
    if (WritePrometheusFile(options.monitor.prometheusFile, walk, error)) return true;
    err << "dirweigh-cli: --prometheus: " << error << '\n';
    return false;
}

namespace {

// The client as the command line asks for it. `untrusted` receives the
// fingerprint of a certificate nothing vouched for.
void PrepareClient(zn::TznFTP& ftp, const Options& options, const Credentials& credentials,
                   const std::string& tlsServersFile, std::string& untrusted, std::ostream& err) {
    ftp.SetWinsockLoaded(true);
    zn::ConnectionProfile profile = zn::ProfileOf(ftp);
    profile.Server = options.host;
    profile.UserName = credentials.user;
    profile.Password = credentials.password;
    profile.TimeOutSeconds = options.timeoutSeconds;
    profile.Passive = options.passive;
    profile.ConnectBackAdvice = "behind a router, leave out --active";
    profile.TlsMode = TlsMode(options.tls);
    profile.TrustedFingerprint = options.tlsFingerprint;
    zn::ExpectTlsIfRemembered(profile, TlsServersMemory(tlsServersFile), SchemeOf(options));
    zn::ApplyProfile(profile, ftp);
    ftp.OnUntrustedCertificate = [&untrusted](zn::TObject*, const zn::TlsCertificate& certificate, bool&) {
        untrusted = certificate.Fingerprint;
    };
    // Said whatever the verbosity: the user must know the password went in
    // clear, and JSON's "tls": false comes only at the end.
    ftp.OnPlainLogon = [&err, &options, &ftp](zn::TObject*) {
        err << "dirweigh-cli: " << options.host << ": " << TerminalSafe(ftp.PlainLogonReason()) << '\n';
    };
}

// The site the history keeps this walk under; where the server gave no
// name for the start, the history takes the tree's root.
zn::SiteKey SiteOf(const Options& options, const std::string& user, const Outcome& outcome) {
    return {user.empty() ? std::string("anonymous") : user, options.host, outcome.serverStart, SchemeOf(options)};
}

}  // namespace

int Report(const Options& options, const Environment& environment, const std::string& user, Outcome& outcome,
           std::ostream& out, std::ostream& err) {
    const Totals& totals = outcome.totals;
    if (options.monitor.check) {
        const int status = PrintCheck(options.monitor, totals, outcome.checkRun, out);
        std::string nothingPrinted;
        if (outcome.tree) {
            FinishWithHistory(options, environment.historyDir, totals, *outcome.tree, SiteOf(options, user, outcome),
                              false, nothingPrinted, outcome.keeping, err);
            // An export asked for is written whatever the verdict; its
            // failure goes to stderr, which a plugin's caller logs.
            SaveExport(options, *outcome.tree, user, out, err);
        }
        return status;
    }
    bool saved = true;
    // Standard output holds the Prometheus text: nothing else goes there.
    static std::ostream nowhere(nullptr);
    std::ostream& shown = options.monitor.prometheusFile == "-" ? nowhere : out;
    if (!outcome.tree) {
        Print(options, totals, ShownDuLines(std::move(outcome.du), environment.outputOnTerminal), shown);
    } else {
        std::ostringstream printed;
        PrintWithBreakdown(options, totals, *outcome.tree, outcome.du, environment.outputOnTerminal, printed);
        std::string text = printed.str();
        saved =
            FinishWithHistory(options, environment.historyDir, totals, *outcome.tree, SiteOf(options, user, outcome),
                              environment.outputOnTerminal, text, outcome.keeping, err);
        shown << text;
        saved = SaveExport(options, *outcome.tree, user, out, err) && saved;
    }
    if (outcome.checkRun.interrupted) return kExitInterrupted;
    return totals.complete && outcome.written && saved ? kExitComplete : kExitFailed;
}

std::unique_ptr<zn::WalkTree> TreeIfNeeded(const Options& options, const Environment& environment) {
    if (!options.breakdown.KeepsTree() && !HistoryKeepsTree(options.history, environment.historyDir)) return nullptr;
    return std::make_unique<zn::WalkTree>(zn::SiteTreeRoot(options.dir));
}

Totals TotalsOf(const zn::WalkTotals& walked, bool aborted, const CliObserver& observer) {
    Totals totals;
    totals.bytes = walked.TotalBytes;
    totals.files = walked.TotalFiles;
    totals.directories = walked.Directories;
    totals.skippedDirectories = walked.SkippedDirectories;
    totals.refusedDirectories = walked.RefusedDirectories;
    totals.unreadableDirectories = walked.UnreadableDirectories;
    totals.cutDirectories = walked.CutDirectories;
    totals.unparsedLines = walked.UnparsedLines;
    totals.complete = !aborted && walked.Whole();
    totals.walkedThrough = !aborted;
    totals.error = aborted ? observer.firstError : NotWholeReason(walked);
    totals.listing = observer.listing;
    return totals;
}

namespace {

// Dials, logs on, enters the start directory and walks. Not remembering
// that the server speaks TLS weakens the next run's check but spoils
// nothing of this one; the user hears of it.
void LogOnAndWalk(zn::SiteRun& run, DialUp& dialUp, const Options& options, const Environment& environment,
                  std::string& serverStart, std::ostream& err) {
    dialUp.Dial();
    TlsServersMemory memory(environment.tlsServersFile);
    run.Connect(memory, {options.host, SchemeOf(options), options.dir}, [&options, &err](const std::string& error) {
        err << "dirweigh-cli: " << options.host << ": cannot remember that the server speaks TLS: " << error << '\n';
    });
    if (HistoryNeedsSite(options.history, environment.historyDir)) serverStart = run.LearnStart();
    run.Walk();
}

// The walk's totals as the report gives them, with the space left, which
// is asked after a walk that went through only.
Totals TotalsAfterWalk(zn::SiteRun& run, const CliObserver& observer, bool aborted, const std::string& host,
                       std::ostream& err) {
    std::optional<std::int64_t> available;
    if (!aborted) available = AskAvailableSpace(run, host, err);
    Totals totals = TotalsOf(run.Totals(), aborted, observer);
    // "tls": true means the logon and every connection of the walk.
    totals.tls = run.Secured();
    totals.available = available;
    return totals;
}

// Connects, walks and reports: the run that meets a server.
int WalkAndReport(const Options& options, const Credentials& credentials, const Environment& environment,
                  std::ostream& out, std::ostream& err) {
    platform::EnsureApplication();
    platform::TComponent owner(nullptr);
    auto* ftp = new zn::TznFTP(&owner);
    DialUp dialUp(owner, options.dial, err, options.verbose);
    bool interrupted = false;
    std::optional<InterruptToCancel> interrupt;
    CliObserver observer(err, options.host, environment.progressOnTerminal && !options.verbose, options.verbose);
    zn::WalkRules rules{options.excludes};
    rules.GoOnPastUnreadable = true;
    std::unique_ptr<zn::WalkTree> tree = TreeIfNeeded(options, environment);
    rules.Tree = tree.get();
    zn::SiteRun run(*ftp, observer, {std::move(rules), options.fastWalk, options.connections});
    observer.totals = [&run]() -> const zn::WalkTotals& { return run.Totals(); };
    std::string serverStart;
    bool failed = false;    // before the walk, or by an error it let through
    std::string untrusted;  // the fingerprint of a certificate nothing vouched for
    const auto started = std::chrono::steady_clock::now();
    try {
        PrepareClient(*ftp, options, credentials, environment.tlsServersFile, untrusted, err);
        if (options.verbose) zn::ShowDialogue(*ftp, observer, "");
        CancelOnLinkDownOrInterrupt(
            dialUp, observer,
            [ftp, &run] {
                ftp->Cancel();
                run.CancelFurther();
            },
            environment.handleInterrupt, interrupt, interrupted);
        LogOnAndWalk(run, dialUp, options, environment, serverStart, err);
    } catch (const std::exception& e) {
        // The way out of an untrusted certificate, ready to copy.
        observer.WalkFailed(untrusted.empty()
                                ? std::string(e.what())
                                : std::string(e.what()) + " (to trust it: --tls-fingerprint " + untrusted + ")");
        failed = true;
    }
    observer.ClearProgress();
    const bool aborted = failed || run.Totals().Aborted;
    Totals totals = TotalsAfterWalk(run, observer, aborted, options.host, err);
    Outcome outcome{std::move(totals), std::move(observer.du), tree.get(), {}, true, std::move(serverStart), {}};
    outcome.checkRun.loggedOn = run.LoggedOn();
    outcome.checkRun.interrupted = interrupted;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    outcome.written = options.monitor.prometheusFile.empty() ||
                      WritePrometheus(options, outcome.totals, outcome.du, seconds, out, err);
    const int status = Report(options, environment, credentials.user, outcome, out, err);
    out << std::flush;
    // The goodbyes wait until the walk is kept: a server that ends its
    // sessions on this machine would take the processors from the keeping.
    outcome.keeping.Finish(err);
    run.End(aborted, true);
    dialUp.HangUp();
    return status;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& shownErrors,
           const Environment& environment) {
    std::ostream& err = CheckNotes(args, shownErrors);
    if (!args.empty() && args[0] == "diff") {
        return RunDiff({args.begin() + 1, args.end()}, out, err, environment.outputOnTerminal);
    }
    const Parsed parsed = ParseCommandLine(args);
    if (!parsed.options) {
        if (CheckRequested(args)) return PrintCheckUnknown(parsed.error, out);
        err << "dirweigh-cli: " << parsed.error << "\n\n" << UsageText();
        return kExitUsage;
    }
    const Options& options = *parsed.options;
    if (options.help) {
        out << UsageText();
        return kExitComplete;
    }
    if (options.version) {
        // Scripts and bug reports want to know which copy ran.
        out << "dirweigh-cli " << DIRWEIGH_VERSION << '\n';
        return kExitComplete;
    }
    if (options.dial.listEntries) return ListDialEntries(out, err);
    if (!options.breakdown.fromFile.empty()) return RunFromExport(options, environment.outputOnTerminal, out, err);
    if (options.sftp) return WalkSftpAndReport(options, environment, out, err);
    std::string error;
    auto credentials =
        ResolveCredentials(options.user, options.host, options.passwordFile, environment.passwords, error);
    if (!credentials) {
        if (options.monitor.check) return PrintCheckUnknown(error, out);
        err << "dirweigh-cli: " << error << '\n';
        return kExitUsage;
    }
    return WalkAndReport(options, *credentials, environment, out, err);
}

}  // namespace cli
