// SPDX-License-Identifier: MIT
#include "sitetree/history_key.h"

#include "net/core/server_key.h"
#include "sitetree/ncdu_json.h"
#include "sitetree/private_files.h"
#include "sitetree/walk_history.h"

#include <zlib.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

namespace zn {
namespace {

namespace fs = std::filesystem;

// The "source" its export's header names: "ftp://alice@host/pub".
std::optional<std::string> SourceOf(const std::string& file) {
    gzFile in = gzopen(file.c_str(), "rb");
    if (!in) return std::nullopt;
    // The header is the first few hundred bytes; a damaged or huge one is
    // not worth reading further.
    constexpr std::uint64_t kMostHeader = std::uint64_t{64} * 1024;
    NcduJson json(
        [in](char* into, std::size_t room) {
            return static_cast<std::ptrdiff_t>(gzread(in, into, static_cast<unsigned>(room)));
        },
        kMostHeader);
    std::optional<std::string> source;
    if (json.Take('[') && (json.Number<std::int64_t>(), json.Take(',')) &&
        (json.Number<std::int64_t>(), json.Take(',')) && json.Take('{')) {
        while (!json.Failed() && json.Peek() == '"') {
            const std::string key = json.String();
            if (!json.Take(':')) break;
            if (key == "source") {
                source = json.String();
            } else {
                json.SkipValue();
            }
            if (json.Peek() != ',') break;
            json.Take(',');
        }
    }
    gzclose(in);
    if (json.Failed()) return std::nullopt;
    return source;
}

// Whether an export kept under the old key was made by this user from this
// start: the old key held the start as typed, which is the server's own
// name of it where it was typed absolute or the login directory is "/".
bool MadeBy(const std::string& file, const SiteKey& site) {
    const auto source = SourceOf(file);
    const std::string scheme = "ftp://" + site.User + "@";
    if (!source || source->rfind(scheme, 0) != 0) return false;
    const std::size_t pathAt = source->find('/', scheme.size());
    return pathAt != std::string::npos && std::string_view(*source).substr(pathAt) == site.Start;
}

// Whether a walk kept without the scheme came to the site by its way in
// and from its user.
bool CameBy(const std::string& file, const SiteKey& site) {
    const auto source = SourceOf(file);
    if (!source) return false;
    const std::string from = "://" + site.User + "@";
    if (source->rfind(SchemeName(site.Scheme) + from, 0) == 0) return true;
    return site.Scheme == UrlScheme::Ftps && source->rfind("ftp" + from, 0) == 0;
}

void RemoveIfEmpty(const fs::path& folder) {
    std::error_code ignored;
    if (fs::is_empty(folder, ignored) && !ignored) fs::remove(folder, ignored);
}

}  // namespace

std::string SiteHistoryFolder(const std::string& root, const SiteKey& site) {
    const std::string scheme = site.Scheme == UrlScheme::Ftp ? "" : SchemeName(site.Scheme) + std::string(":");
    return root + "/" + FoldedFolderName(scheme + site.User + "@" + ServerKey(site.Server, DefaultPort(site.Scheme))) +
           "/" + FoldedFolderName(site.Start.empty() ? "/" : site.Start);
}

void AdoptWalksWithoutScheme(const std::string& root, const SiteKey& site) {
    if (site.Scheme == UrlScheme::Ftp) return;
    const std::string folder = SiteHistoryFolder(root, site);
    const std::string old = SiteHistoryFolder(root, {site.User, site.Server, site.Start});
    if (!HistoryFiles(folder).empty()) return;
    std::string error;
    for (const std::string& file : HistoryFiles(old)) {
        if (!CameBy(file, site)) continue;
        const std::string moved = folder + "/" + fs::path(file).filename().string();
        if (MakePrivateFolders(folder, error)) std::rename(file.c_str(), moved.c_str());
    }
    RemoveIfEmpty(old);
    RemoveIfEmpty(fs::path(old).parent_path());
}

std::string OldSiteHistoryFolder(const std::string& root, const std::string& host, const std::string& typedStart) {
    std::string server;
    for (const char c : host) server += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (server.size() >= 3 && server.compare(server.size() - 3, 3, ":21") == 0) server.resize(server.size() - 3);
    return root + "/" + FoldedFolderName(server) + "/" + FoldedFolderName(typedStart.empty() ? "/" : typedStart);
}

std::string AdoptOldWalks(const std::string& oldFolder, const std::string& newFolder, const SiteKey& site) {
    // No sftp:// walk was ever kept under the old key; what lies there is
    // an FTP site's.
    if (site.Scheme == UrlScheme::Sftp || oldFolder == newFolder || !HistoryFiles(newFolder).empty()) return {};
    const auto old = HistoryFiles(oldFolder);
    if (old.empty()) return {};
    std::size_t left = 0;
    std::string error;
    for (const std::string& file : old) {
        if (!MadeBy(file, site)) {
            ++left;
            continue;
        }
        // Private folders, as a walk kept there makes them; a file moved
        // keeps its name, which is when it was made.
        const std::string moved = newFolder + "/" + fs::path(file).filename().string();
        if (!MakePrivateFolders(newFolder, error) || std::rename(file.c_str(), moved.c_str()) != 0) ++left;
    }
    if (left == 0) {
        RemoveIfEmpty(oldFolder);
        RemoveIfEmpty(fs::path(oldFolder).parent_path());
        return {};
    }
    return std::to_string(left) + (left == 1 ? " walk" : " walks") + " kept in " + oldFolder +
           " by an earlier version may be another user's or another start directory's: left there, not compared";
}

}  // namespace zn
