#include "ftp/fast_walker.h"

#include "net/errors.h"
#include "platform/exception.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace zn {
namespace {

using EntryKey = std::tuple<std::string, int, std::int64_t>;

// Name, kind and size of every entry but "." and "..", in order: what a
// walk takes from a listing.
std::vector<EntryKey> WalkedContent(const TznFTPDirList& list) {
    std::vector<EntryKey> keys;
    for (int i = 0; i < list.Count(); ++i) {
        const TznFTPDirEntry& e = list.Items(i);
        if (e.Name == "." || e.Name == "..") continue;
        keys.emplace_back(e.Name, e.Kind, e.Kind == dkFile ? e.Size : 0);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

// A path STAT may not take as a plain path: a component that starts like
// an option or holds a pattern character.
bool MayBeReadAsPattern(const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part(path.data() + start, end - start);
        if ((!part.empty() && part.front() == '-') || part.find_first_of("*?[") != std::string_view::npos) return true;
        start = end + 1;
    }
    return false;
}

std::string Child(const std::string& parent, const std::string& name) {
    return parent == "/" ? "/" + name : parent + "/" + name;
}

}  // namespace

FastWalker::FastWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules)
    : ftp_(ftp), observer_(observer), rules_(std::move(rules)) {}

void FastWalker::Walk() {
    static_cast<WalkTotals&>(*this) = WalkTotals{};
    designed_.reset();
    bool statUsable = false;
    try {
        statUsable = StatListsLikeList();
    } catch (const platform::Exception& e) {
        Aborted = true;
        observer_.WalkFailed(e.Message());
        return;
    }
    if (!statUsable) {
        RunDesignedWalk();
        return;
    }
    method_ = "STAT";
    RetrieveDir(start_, "", 0, &startListing_);
}

// The start directory's LIST, then its STAT: the same entries, or the walk
// is the designed one. Only a refusal (a reply other than the expected)
// leads there; a failure that ends the connection ends the walk.
bool FastWalker::StatListsLikeList() {
    try {
        start_ = ftp_.PrintWorkingDir();
    } catch (const EServerError&) {
        return false;
    }
    // Only Unix-style absolute paths can be built from names.
    if (start_.empty() || start_.front() != '/') return false;
    ftp_.List();
    RefuseTruncatedListing(ftp_.LastReply());
    startListing_.TakeEntries(ftp_.DirList());
    TznFTPDirList byStat;
    try {
        ftp_.StatList(start_, byStat);
    } catch (const EServerError&) {
        return false;
    }
    return WalkedContent(byStat) == WalkedContent(startListing_);
}

void FastWalker::RunDesignedWalk() {
    method_ = "LIST";
    designed_ = std::make_unique<SiteWalker>(ftp_, observer_, rules_);
    designed_->Walk();
    static_cast<WalkTotals&>(*this) = *designed_;
    designed_.reset();
}

void FastWalker::ListDirectory(const std::string& absolute, TznFTPDirList& level) {
    if (MayBeReadAsPattern(absolute)) {
        ftp_.ChangeDir(absolute);
        ftp_.List();
        RefuseTruncatedListing(ftp_.LastReply());
        level.TakeEntries(ftp_.DirList());
        return;
    }
    ftp_.StatList(absolute, level);
    RefuseTruncatedListing(ftp_.LastReply());
}

void FastWalker::RetrieveDir(const std::string& absolute, const std::string& relative, int depth,
                             TznFTPDirList* listed) {
    TznFTPDirList level;
    if (Aborted) return;
    const std::int64_t bytesBefore = TotalBytes, filesBefore = TotalFiles;
    try {
        if (listed) {
            level.TakeEntries(*listed);
        } else {
            ListDirectory(absolute, level);
        }
        ++Directories;
        observer_.DirectoryListed(relative);
        for (int i = 0; i < level.Count() && !Aborted; ++i) {
            const TznFTPDirEntry& entry = level.Items(i);
            if (entry.Kind != dkDirectory) {
                CountEntry(entry, *this);
                continue;
            }
            if (!EntersDirectory(entry.Name, rules_, *this)) continue;
            if (depth >= rules_.MaxDepth) throw platform::Exception(TooDeepMessage(rules_.MaxDepth, entry.Name));
            RetrieveDir(Child(absolute, entry.Name), relative.empty() ? entry.Name : relative + "/" + entry.Name,
                        depth + 1, nullptr);
        }
        if (!Aborted) observer_.DirectoryDone(relative, depth, TotalBytes - bytesBefore, TotalFiles - filesBefore);
    } catch (const platform::Exception& e) {
        Aborted = true;
        observer_.WalkFailed(e.Message());
    }
}

}  // namespace zn
