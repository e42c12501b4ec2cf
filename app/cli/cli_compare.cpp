// SPDX-License-Identifier: MIT
#include "app/cli/cli_compare.h"

#include "app/cli/cli_report.h"
#include "app/cli/cli_run.h"
#include "app/cli/cli_terminal_text.h"
#include "platform/str_to_int.h"
#include "sitetree/ncdu_export.h"

#include <ostream>

namespace cli {
namespace {

std::string Signed(std::int64_t change) { return (change > 0 ? "+" : "") + std::to_string(change); }

std::string Shown(const std::string& path) { return path.empty() ? "." : path; }

// "  +1.00 KiB\t1024\t2048\t+1024\tpath": the change for the eye, then the
// bytes for a script.
std::string ChangeLines(const char* title, const std::vector<zn::PathChange>& changes, bool onTerminal) {
    if (changes.empty()) return {};
    std::string text = std::string(title) + "\n";
    for (const zn::PathChange& change : changes) {
        text += "  " + zn::SignedHumanSize(change.Change()) + "\t" + std::to_string(change.oldBytes) + "\t" +
                std::to_string(change.newBytes) + "\t" + Signed(change.Change()) + "\t" +
                (onTerminal ? TerminalSafe(Shown(change.path)) : Shown(change.path)) + "\n";
    }
    return text;
}

std::string ChangesJson(const std::vector<zn::PathChange>& changes) {
    std::string json = "[";
    for (const zn::PathChange& change : changes) {
        json += (json.size() > 1 ? ", " : "") + std::string("{\"path\": ") + JsonString(change.path) +
                ", \"old_bytes\": " + std::to_string(change.oldBytes) +
                ", \"new_bytes\": " + std::to_string(change.newBytes) +
                ", \"change\": " + std::to_string(change.Change()) + "}";
    }
    return json + "]";
}

std::unique_ptr<zn::WalkTree> Load(const std::string& file, std::ostream& err) {
    std::string error;
    auto tree = zn::LoadNcdu(file, error);
    if (!tree) err << "dirweigh-cli: " << TerminalSafe(error) << '\n';
    return tree;
}

}  // namespace

std::string ComparisonText(const zn::WalkComparison& c, const std::string& with, bool onTerminal) {
    std::string text = "Since " + with + ": " + zn::SignedHumanSize(c.newBytes - c.oldBytes) + " (" +
                       std::to_string(c.oldBytes) + " to " + std::to_string(c.newBytes) + " bytes, " +
                       Signed(c.newFiles - c.oldFiles) + " files)\n";
    text += ChangeLines("Changed directories:", c.directories, onTerminal);
    text += ChangeLines("Files added:", c.addedFiles, onTerminal);
    text += ChangeLines("Files removed:", c.removedFiles, onTerminal);
    text += ChangeLines("Files grown most:", c.grownFiles, onTerminal);
    return text;
}

std::string ComparisonJson(const zn::WalkComparison& c, const std::string& with) {
    return "{\"with\": " + JsonString(with) + ", \"old_bytes\": " + std::to_string(c.oldBytes) +
           ", \"new_bytes\": " + std::to_string(c.newBytes) +
           ", \"change\": " + std::to_string(c.newBytes - c.oldBytes) +
           ", \"old_files\": " + std::to_string(c.oldFiles) + ", \"new_files\": " + std::to_string(c.newFiles) +
           ", \"directories\": " + ChangesJson(c.directories) + ", \"added_files\": " + ChangesJson(c.addedFiles) +
           ", \"removed_files\": " + ChangesJson(c.removedFiles) + ", \"grown_files\": " + ChangesJson(c.grownFiles) +
           "}";
}

int RunDiff(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool onTerminal) {
    bool json = false;
    int top = kCompareFiles;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--top") {
            const auto count = i + 1 < args.size() ? platform::StrToInt32(args[++i]) : std::nullopt;
            if (!count || *count < 1) {
                err << "dirweigh-cli: --top needs a whole number, 1 or more\n";
                return kExitUsage;
            }
            top = *count;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) {
        err << "dirweigh-cli: diff needs two exports: dirweigh-cli diff [--json] [--top N] OLD NEW\n";
        return kExitUsage;
    }
    const auto older = Load(files[0], err);
    const auto newer = older ? Load(files[1], err) : nullptr;
    if (!newer) return kExitFailed;
    const zn::WalkComparison comparison = zn::CompareWalks(*older, *newer, top);
    if (json) {
        out << "{\"compare\": " << ComparisonJson(comparison, files[0]) << "}\n";
    } else {
        out << ComparisonText(comparison, files[0], onTerminal);
    }
    return kExitComplete;
}

}  // namespace cli
