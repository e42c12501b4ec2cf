#include "ftp/site_walker.h"

#include "net/errors.h"
#include "platform/exception.h"

#include <cctype>

namespace zn {

SiteWalker::SiteWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules)
    : ftp_(ftp), observer_(observer), rules_(std::move(rules)) {}

void SiteWalker::Walk() {
    TotalBytes = TotalFiles = Directories = SkippedDirectories = RefusedDirectories = UnparsedLines = 0;
    Aborted = false;
    path_.clear();
    RetrieveDir("", 0);
}

bool SiteWalker::Enters(const std::string& name) {
    if (name == "." || name == "..") return false;
    if (name.empty() || name.find('/') != std::string::npos) {
        ++RefusedDirectories;
        return false;
    }
    if (rules_.Excludes.count(name)) {
        ++SkippedDirectories;
        return false;
    }
    return true;
}

// Some servers cut a long listing short and still answer 226, saying so in
// the text ("226 Output truncated to 10000 matches", pure-ftpd): a total
// built on it would be reported as complete and be wrong.
void SiteWalker::RefuseTruncatedListing(const std::string& reply) {
    std::string lowered = reply;
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lowered.find("truncated") != std::string::npos) throw EServerError(reply);
}

void SiteWalker::RetrieveDir(const std::string& name, int depth) {
    // Each level keeps its own listing: the next LIST replaces the client's.
    TznFTPDirList level;
    if (Aborted) return;
    const std::int64_t bytesBefore = TotalBytes, filesBefore = TotalFiles;
    const std::size_t pathLength = path_.size();
    if (depth > 0) path_ += (path_.empty() ? "" : "/") + name;
    try {
        ftp_.List();
        RefuseTruncatedListing(ftp_.LastReply());
        level.TakeEntries(ftp_.DirList());
        ++Directories;
        observer_.DirectoryListed(path_);
        for (int i = 0; i < level.Count(); ++i) {
            if (Aborted) break;
            const TznFTPDirEntry& entry = level.Items(i);
            if (entry.Kind == dkDirectory) {
                if (!Enters(entry.Name)) continue;
                // A listing that leads back to an ancestor would otherwise be
                // walked ever deeper.
                if (depth >= rules_.MaxDepth) {
                    throw platform::Exception("The directory tree is deeper than " + std::to_string(rules_.MaxDepth) +
                                              " levels; the walk stops at " + entry.Name);
                }
                ftp_.ChangeDir(entry.Name);
                RetrieveDir(entry.Name, depth + 1);
                // After a failure below that closed the connection (a cancel,
                // a time-out), going up would only fail again and report a
                // second time; while it is open, going up puts the server
                // back where the walk started.
                if (Aborted && !ftp_.Connected() && !rules_.UnwindThroughClosedConnection) break;
                ftp_.ChangeDirUp();
            } else if (entry.Kind == dkFile) {
                if (entry.Size > 0) TotalBytes += entry.Size;
                ++TotalFiles;
            } else if (entry.Kind == dkUnknown) {
                ++UnparsedLines;
            }
        }
        if (!Aborted) observer_.DirectoryDone(path_, depth, TotalBytes - bytesBefore, TotalFiles - filesBefore);
    } catch (const platform::Exception& e) {
        Aborted = true;
        observer_.WalkFailed(e.Message());
    }
    path_.resize(pathLength);
}

}  // namespace zn
