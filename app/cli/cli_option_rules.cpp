// SPDX-License-Identifier: MIT
// What does not go together on the command line: the options as a whole,
// checked once every argument is read.
#include "app/cli/cli_option_rules.h"

namespace cli {
namespace {

struct Rule {
    RuleStage stage;
    bool (*broken)(const Reading& reading);
    const char* error;
};

bool HasPercent(const std::optional<Threshold>& threshold) {
    return threshold &&
           ((threshold->start && threshold->start->percent) || (threshold->end && threshold->end->percent));
}

// The order is the order of the messages: with two faults, the first here
// is the one named.
const Rule kRules[] = {
    {RuleStage::Always, [](const Reading& r) { return r.options.dial.timeoutGiven && r.options.dial.entry.empty(); },
     "--dial-timeout goes with --dial"},
    {RuleStage::Always,
     [](const Reading& r) {
         const MonitorOptions& m = r.options.monitor;
         return !m.check && (m.warning || m.critical || m.quota);
     },
     "-w, -c and --quota go with --check"},
    {RuleStage::Always,
     [](const Reading& r) {
         const MonitorOptions& m = r.options.monitor;
         return !m.quota && (HasPercent(m.warning) || HasPercent(m.critical));
     },
     "a percentage in -w or -c needs --quota"},
    {RuleStage::Always,
     [](const Reading& r) { return r.options.monitor.check && r.options.format != OutputFormat::Line; },
     "--check prints the plugin's line alone: leave out --bytes, --json and --du"},
    // Standard output is the plugin's: an export there would follow its
    // line, and a monitoring system reads only the first.
    {RuleStage::Always,
     [](const Reading& r) {
         return r.options.monitor.check &&
                (r.options.breakdown.ncduFile == "-" || r.options.monitor.prometheusFile == "-");
     },
     "--check prints the plugin's line alone: give --ncdu and --prometheus a file"},
    {RuleStage::Reports,
     [](const Reading& r) { return r.options.breakdown.sortBySize && r.options.format != OutputFormat::Du; },
     "--sort goes with --du"},
    {RuleStage::Reports,
     [](const Reading& r) { return r.options.breakdown.ncduFile == "-" && r.options.format != OutputFormat::Line; },
     "--ncdu - writes to standard output; it goes with no other output"},
    {RuleStage::Reports,
     [](const Reading& r) { return !r.options.history.compare.empty() && !r.options.breakdown.fromFile.empty(); },
     "--compare goes with a walk; two exports: dirweigh-cli diff OLD NEW"},
    {RuleStage::Reports,
     [](const Reading& r) {
         const Options& o = r.options;
         return !o.history.compare.empty() &&
                (o.format == OutputFormat::Bytes || o.breakdown.ncduFile == "-" || o.monitor.check);
     },
     "--compare prints its changes after the totals: leave out --bytes, --check and --ncdu -"},
    {RuleStage::Reports, [](const Reading& r) { return !r.options.breakdown.fromFile.empty() && r.server.has_value(); },
     "--from reads a saved export: give no server"},
    {RuleStage::Walk, [](const Reading& r) { return r.connectionsGiven && !r.options.fastWalk; },
     "--connections goes with the fast walk"},
    {RuleStage::Walk,
     [](const Reading& r) { return !r.options.tlsFingerprint.empty() && r.options.tls == TlsChoice::Off; },
     "--tls-fingerprint goes with TLS, not with --tls off"},
    {RuleStage::Walk, [](const Reading& r) { return !r.options.sshHostKey.empty() && !r.options.sftp; },
     "--ssh-host-key goes with an sftp:// URL"},
    // Said rather than passed over: a user who asks for TLS must not
    // believe they had it.
    {RuleStage::Walk,
     [](const Reading& r) {
         const Options& o = r.options;
         return o.sftp && (r.tlsGiven || !o.tlsFingerprint.empty() || !o.passive || !o.fastWalk);
     },
     "an sftp:// walk takes no --tls, --tls-fingerprint, --active or --walk"},
    {RuleStage::Walk,
     [](const Reading& r) {
         const Options& o = r.options;
         return o.maxDepth >= 0 && o.format != OutputFormat::Du && o.monitor.prometheusFile.empty();
     },
     "--max-depth goes with --du or --prometheus"},
};

}  // namespace

const char* BrokenRule(RuleStage stage, const Reading& reading) {
    for (const Rule& rule : kRules) {
        if (rule.stage == stage && rule.broken(reading)) return rule.error;
    }
    return nullptr;
}

}  // namespace cli
