// SPDX-License-Identifier: MIT
// The options of the breakdown reports, how they are printed beside the
// totals, the ncdu export, and the reports of an export read back.
#include "app/cli/cli_breakdown.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_report.h"
#include "app/cli/cli_run.h"
#include "app/cli/cli_terminal_text.h"
#include "sitetree/ncdu_export.h"
#include "sitetree/site_history.h"
#include "sitetree/walk_tree_paths.h"

#include <ctime>
#include <ostream>

namespace cli {

namespace {

// A name as a text report prints it: on a terminal, a name a server or an
// export chose must not retitle or clear it.
std::string Shown(const std::string& name, bool onTerminal) { return onTerminal ? TerminalSafe(name) : name; }

std::string TopText(const char* title, const std::vector<SizedPath>& items, bool onTerminal) {
    std::string text = std::string(title) + "\n";
    for (const SizedPath& item : items) {
        text += "  " + HumanSize(item.bytes) + "\t" + std::to_string(item.bytes) + "\t" +
                (item.path.empty() ? "." : Shown(item.path, onTerminal)) + "\n";
    }
    return text;
}

std::string TopJson(const std::vector<SizedPath>& items, bool withFiles) {
    std::string json = "[";
    for (const SizedPath& item : items) {
        json += (json.size() > 1 ? ", " : "") + std::string("{\"path\": ") + JsonString(item.path) +
                ", \"bytes\": " + std::to_string(item.bytes) +
                (withFiles ? ", \"files\": " + std::to_string(item.files) : std::string()) + "}";
    }
    return json + "]";
}

std::string Share(std::int64_t part, std::int64_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", whole > 0 ? static_cast<double>(part) / static_cast<double>(whole) : 0.0);
    return text;
}

std::string ExtensionsText(const std::vector<ExtensionShare>& shares, std::int64_t total, bool onTerminal) {
    std::string text = "By extension:\n";
    for (const ExtensionShare& share : shares) {
        text += "  " + HumanSize(share.bytes) + "\t" + std::to_string(share.bytes) + "\t" +
                std::to_string(share.files) + " files\t" + Share(share.bytes, total) + "\t" +
                (share.extension.empty() ? "(none)" : Shown(share.extension, onTerminal)) + "\n";
    }
    return text;
}

std::string ExtensionsJson(const std::vector<ExtensionShare>& shares, std::int64_t total) {
    std::string json = "[";
    for (const ExtensionShare& share : shares) {
        json += (json.size() > 1 ? ", " : "") + std::string("{\"extension\": ") + JsonString(share.extension) +
                ", \"bytes\": " + std::to_string(share.bytes) + ", \"files\": " + std::to_string(share.files) +
                ", \"share\": " + Share(share.bytes, total) + "}";
    }
    return json + "]";
}

// The tree's reports as further JSON members, or as text after the totals.
std::string Reports(const Options& options, const zn::WalkTree& tree, bool json, bool onTerminal) {
    const BreakdownOptions& b = options.breakdown;
    const std::int64_t total = tree.TotalBytes(zn::WalkTree::kRoot);
    std::string text;
    if (b.top > 0) {
        const auto dirs = LargestDirectories(tree, b.top);
        const auto files = LargestFiles(tree, b.top);
        text += json ? ", \"top_directories\": " + TopJson(dirs, true) + ", \"top_files\": " + TopJson(files, false)
                     : TopText("Largest directories:", dirs, onTerminal) + TopText("Largest files:", files, onTerminal);
    }
    if (b.byExtension) {
        const auto shares = ByExtension(tree);
        text +=
            json ? ", \"by_extension\": " + ExtensionsJson(shares, total) : ExtensionsText(shares, total, onTerminal);
    }
    return text;
}

// The lines --du prints, children before their parent as a walk reports
// them, down to --max-depth: only those are given a path.
std::vector<DuLine> DuInWalkOrder(const Options& options, const zn::WalkTree& tree) {
    std::vector<DuLine> lines;
    if (options.format != OutputFormat::Du || options.breakdown.sortBySize) return lines;
    zn::VisitDirectories(tree, [&](int dir, int depth, const std::string& path) {
        if (options.maxDepth < 0 || depth <= options.maxDepth) lines.push_back({path, depth, tree.TotalBytes(dir)});
    });
    return lines;
}

// The totals an export holds; an unread directory makes it incomplete.
Totals TotalsOf(const zn::WalkTree& tree) {
    Totals totals;
    totals.bytes = tree.TotalBytes(zn::WalkTree::kRoot);
    totals.files = tree.TotalFiles(zn::WalkTree::kRoot);
    totals.directories = tree.DirectoryCount();
    for (std::int64_t entry = 0; entry < tree.EntryCount(); ++entry) {
        const auto kind = tree.EntryAt(entry).Kind;
        totals.skippedDirectories += kind == zn::WalkTree::ekExcluded;
        totals.refusedDirectories += kind == zn::WalkTree::ekRefused;
    }
    for (int dir = 0; dir < tree.DirectoryCount(); ++dir) {
        if (tree.IsListed(dir)) continue;
        totals.complete = false;
        totals.error = "the export marks a directory it could not read: " + tree.Path(dir);
        break;
    }
    return totals;
}

}  // namespace

void PrintWithBreakdown(const Options& options, const Totals& totals, zn::WalkTree& tree, const std::vector<DuLine>& du,
                        bool onTerminal, std::ostream& out) {
    // Standard output holds the export.
    if (options.breakdown.ncduFile == "-") return;
    const bool nothingMeasured = !totals.complete && totals.directories == 0;
    if (nothingMeasured && options.format != OutputFormat::Json) return;
    tree.Sum();
    switch (options.format) {
        case OutputFormat::Bytes: out << totals.bytes << '\n'; return;
        case OutputFormat::Json: {
            std::string json = JsonObject(totals);
            json.pop_back();  // the closing brace: the reports are members too
            out << json << Reports(options, tree, true, onTerminal) << "}\n";
            return;
        }
        case OutputFormat::Du: {
            std::vector<DuLine> lines = options.breakdown.sortBySize ? DuBySize(tree, options.maxDepth) : du;
            for (DuLine& line : lines) line.path = Shown(line.path, onTerminal);
            out << DuListing(lines, options.maxDepth);
            break;
        }
        case OutputFormat::Line: out << SummaryLine(totals) << '\n'; break;
    }
    out << Reports(options, tree, false, onTerminal);
}

bool SaveExport(const Options& options, const zn::WalkTree& tree, const std::string& user, std::ostream& out,
                std::ostream& err) {
    if (options.breakdown.ncduFile.empty()) return true;
    zn::NcduMetadata metadata{"1.03", static_cast<std::int64_t>(std::time(nullptr)), {}};
    // Where it was measured, without the password.
    if (options.breakdown.fromFile.empty()) {
        const zn::SiteKey site{user.empty() ? std::string("anonymous") : user, options.host, {}, SchemeOf(options)};
        metadata.Source = zn::WalkSource(site, tree);
    }
    std::string error;
    if (zn::SaveNcdu(tree, metadata, options.breakdown.ncduFile, out, error)) return true;
    err << "dirweigh-cli: " << error << '\n';
    return false;
}

int RunFromExport(const Options& options, bool onTerminal, std::ostream& out, std::ostream& err) {
    std::string error;
    const auto tree = zn::LoadNcdu(options.breakdown.fromFile, error);
    if (!tree) {
        err << "dirweigh-cli: " << error << '\n';
        return kExitFailed;
    }
    const Totals totals = TotalsOf(*tree);
    // The export's names are a stranger's: escaped, as every message is.
    if (!totals.complete) {
        err << "dirweigh-cli: " << TerminalSafe(options.breakdown.fromFile) << ": " << TerminalSafe(totals.error)
            << '\n';
    }
    PrintWithBreakdown(options, totals, *tree, DuInWalkOrder(options, *tree), onTerminal, out);
    if (!SaveExport(options, *tree, {}, out, err)) return kExitFailed;
    return totals.complete ? kExitComplete : kExitFailed;
}

}  // namespace cli
