// SPDX-License-Identifier: MIT
#pragma once

#include "app/cli/cli_report.h"
#include "app/cli/cli_terminal_text.h"
#include "walk/walk_session.h"

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// Reports the walk on the command line: failures and progress on stderr,
// per-directory totals for --du, and with --verbose the dialogue of every
// connection.
class CliObserver : public zn::WalkSessionObserver {
public:
    CliObserver(std::ostream& err, std::string server, bool progress, bool verbose)
        : err_(err), server_(std::move(server)), progress_(progress), verbose_(verbose) {}

    // Named after the server: a script that walks several sites must be
    // able to tell whose failure it is.
    void WalkFailed(const std::string& message) override {
        if (firstError.empty()) firstError = message;
        ClearProgress();
        err_ << "dirweigh-cli: " << server_ << ": " << TerminalSafe(message) << '\n';
    }
    // Said whatever the verbosity, as du does: the total leaves them out.
    void DirectoryNotRead(const std::string& path, const std::string& reply) override {
        ClearProgress();
        err_ << "dirweigh-cli: " << server_ << ": cannot read /" << TerminalSafe(path) << ": " << TerminalSafe(reply)
             << "; its size is not in the total\n";
    }
    void DirectoryCut(const std::string&, const std::string& message) override {
        ClearProgress();
        err_ << "dirweigh-cli: " << server_ << ": " << TerminalSafe(message) << '\n';
    }
    void DirectoryListed(const std::string& path) override {
        if (!progress_ || !totals) return;
        const zn::WalkTotals& now = totals();
        err_ << "\r\033[K" << now.Directories << " directories, " << now.TotalFiles << " files, "
             << HumanSize(now.TotalBytes) << "  /" << TerminalSafe(path) << std::flush;
        shown_ = true;
    }
    void DirectoryDone(const std::string& path, int depth, std::int64_t bytes, std::int64_t) override {
        du.push_back({path, depth, bytes});
    }
    void ListingChosen(const zn::ListingForm& form, bool hidden) override {
        listing = form.Command();
        if (!verbose_) return;
        err_ << "dirweigh-cli: " << server_ << ": " << (hidden ? zn::HiddenNamesNote(form) : "listing with " + listing)
             << '\n';
    }
    void LineSent(const std::string& tag, const std::string& shown) override {
        if (verbose_) err_ << tag << TerminalSafe(shown) << '\n';
    }
    void LineReceived(const std::string& tag, const std::string& line) override {
        if (verbose_) err_ << tag << ' ' << TerminalSafe(line) << '\n';
    }
    void Secured(const std::string&, const zn::TznFTP& ftp) override {
        if (verbose_) err_ << "TLS: " << ftp.TlsSummary() << '\n';
    }
    void ConnectionOpening(const std::string& tag) override {
        if (verbose_) err_ << tag << zn::kOpeningNote << '\n';
    }
    void ConnectionFailed(const std::string& tag, const std::string& message) override {
        if (verbose_) err_ << tag << TerminalSafe(message) << '\n';
    }
    void ClearProgress() {
        if (shown_) err_ << "\r\033[K" << std::flush;
        shown_ = false;
    }

    std::string firstError;
    std::string listing;
    std::vector<DuLine> du;
    // The walk's totals so far, once it runs.
    std::function<const zn::WalkTotals&()> totals;

private:
    std::ostream& err_;
    std::string server_;
    bool progress_;
    bool verbose_;
    bool shown_ = false;
};

}  // namespace cli
