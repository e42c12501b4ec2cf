#include "ftp/site_walker.h"

#include "platform/exception.h"

namespace zn {

SiteWalker::SiteWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules)
    : ftp_(ftp), observer_(observer), rules_(std::move(rules)) {}

void SiteWalker::Walk() {
    TotalBytes = TotalFiles = Directories = SkippedDirectories = UnparsedLines = 0;
    Aborted = false;
    path_.clear();
    RetrieveDir("", 0);
}

bool SiteWalker::Enters(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (rules_.Excludes.count(name)) {
        ++SkippedDirectories;
        return false;
    }
    return true;
}

void SiteWalker::RetrieveDir(const std::string& name, int depth) {
    // Each level keeps its own copy: the next LIST replaces the client's.
    TznFTPDirList level;
    if (Aborted) return;
    const std::int64_t bytesBefore = TotalBytes, filesBefore = TotalFiles;
    const std::size_t pathLength = path_.size();
    if (depth > 0) path_ += (path_.empty() ? "" : "/") + name;
    try {
        ftp_.List();
        level.Assign(ftp_.DirList());
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
