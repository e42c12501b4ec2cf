// SPDX-License-Identifier: MIT
#include "walk/sftp_walker.h"

#include "net/core/errors.h"
#include "platform/exception.h"

#include <limits>
#include <utility>

namespace zn {

namespace {

// A request's key among those on the way: its connection in the upper
// half, its id in the lower.
std::uint64_t PendingKey(std::size_t lane, std::uint32_t id) { return (std::uint64_t{lane} << 32U) | id; }

}  // namespace

SftpWalker::SftpWalker(SftpChannel& sftp, WalkObserver& observer, WalkRules rules, std::string start, std::size_t open)
    : sftp_(sftp), observer_(observer), rules_(std::move(rules)), start_(std::move(start)), open_(open) {}

TznFTPDirEntry EntryOf(const sftp::Name& name) {
    TznFTPDirEntry entry;
    entry.Name = name.Filename;
    const std::uint32_t type = name.Attrs.Permissions.value_or(0) & sftp::kTypeMask;
    if (type == sftp::kDirectory) {
        entry.Kind = dkDirectory;
    } else if (type == sftp::kLink) {
        entry.Kind = dkLink;
    } else {
        // Regular files, and whatever else takes a name in a directory,
        // as an FTP listing shows them: files of their size.
        entry.Kind = dkFile;
        const std::uint64_t size = name.Attrs.Size.value_or(0);
        entry.Size = size > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                         ? std::numeric_limits<std::int64_t>::max()
                         : static_cast<std::int64_t>(size);
    }
    return entry;
}

void SftpWalker::Walk() {
    totals_ = WalkTotals{};
    pending_.clear();
    lanes_.assign(1, &sftp_);
    load_.assign(1, 0);
    noMoreLanes_ = false;
    try {
        Run();
    } catch (const platform::Exception& e) {
        AbortWalk(totals_, observer_, e.Message());
    }
}

void SftpWalker::Run() {
    FindStart();
    frontier_.Reset(absoluteStart_);
    gauge_ = ConnectionGauge(further_ ? further_->LogonSeconds() : 0);
    lastListed_ = std::chrono::steady_clock::now();
    StartListing(0, 0);
    while (!Done()) {
        GrowLanes();
        FillLanes();
        TakeReplies();
    }
    frontier_.ReportDone(observer_);
}

// The start's absolute name: the paths below it are absolute too, and the
// history keeps the walk under it.
void SftpWalker::FindStart() {
    const std::string start = start_.empty() ? "." : start_;
    Shown(true, "REALPATH " + start);
    sftp_.Send(sftp::kRealPath, start);
    const sftp::Reply reply = sftp_.Receive();
    if (reply.Type != sftp::kName || reply.Names.size() != 1) {
        const std::string why = reply.Type == sftp::kStatus ? sftp::StatusText(reply) : "no name came back";
        Shown(false, "STATUS " + why);
        throw EServerError("cannot find the start directory " + start + ": " + why);
    }
    absoluteStart_ = reply.Names.front().Filename;
    Shown(false, "NAME " + absoluteStart_);
}

void SftpWalker::Request(sftp::PacketType type, const std::string& argument, Open open, const std::string& shown) {
    Shown(true, shown);
    const std::size_t lane = open.lane;
    pending_.emplace(PendingKey(lane, lanes_[lane]->Send(type, argument)), std::move(open));
    ++load_[lane];
}

void SftpWalker::StartListing(int node, std::size_t lane) {
    Open open;
    open.lane = lane;
    open.node = node;
    const std::string path = frontier_[node].absolute;
    Request(sftp::kOpenDir, path, std::move(open), "OPENDIR " + path);
}

void SftpWalker::Take(std::size_t lane, const sftp::Reply& reply) {
    auto found = pending_.find(PendingKey(lane, reply.Id));
    if (found == pending_.end()) {
        throw EServerError("the SFTP server answered request " + std::to_string(reply.Id) + ", which was not sent");
    }
    Open open = std::move(found->second);
    pending_.erase(found);
    --load_[lane];
    switch (open.stage) {
        case Stage::Opening: Opened(std::move(open), reply); return;
        case Stage::Reading: ReadMore(std::move(open), reply); return;
        case Stage::Closing:
            // A close the server refuses leaves nothing of the walk behind.
            Shown(false, "STATUS " + sftp::StatusText(reply) + " (" + frontier_[open.node].absolute + ")");
            return;
    }
}

void SftpWalker::Opened(Open open, const sftp::Reply& reply) {
    if (reply.Type != sftp::kHandle) {
        NotRead(std::move(open), reply);
        return;
    }
    // With many directories on the way, each reply names its own.
    Shown(false, "HANDLE (" + frontier_[open.node].absolute + ")");
    open.stage = Stage::Reading;
    open.handle = reply.Handle;
    const std::string shown = "READDIR " + frontier_[open.node].absolute;
    const std::string handle = open.handle;
    Request(sftp::kReadDir, handle, std::move(open), shown);
}

void SftpWalker::ReadMore(Open open, const sftp::Reply& reply) {
    const std::string path = frontier_[open.node].absolute;
    const std::string handle = open.handle;
    if (reply.Type == sftp::kName) {
        Shown(false, "NAME " + std::to_string(reply.Names.size()) + " entries (" + path + ")");
        for (const sftp::Name& name : reply.Names) {
            open.listing->Add(std::make_unique<TznFTPDirEntry>(EntryOf(name)));
        }
        Request(sftp::kReadDir, handle, std::move(open), "READDIR " + path);
        return;
    }
    if (reply.Type != sftp::kStatus || reply.Status != sftp::kEof) {
        NotRead(std::move(open), reply);
        return;
    }
    Shown(false, "STATUS end of file (" + path + ")");
    Accept(open.node, *open.listing);
    open.stage = Stage::Closing;
    Request(sftp::kClose, handle, std::move(open), "CLOSE " + path);
}

// The server would not open or read a directory: passed over, as the FTP
// walks pass over one they are refused, but for the start, without which
// there is no walk. What it listed before it failed does not count.
void SftpWalker::NotRead(Open open, const sftp::Reply& reply) {
    const std::string why =
        reply.Type == sftp::kStatus ? sftp::StatusText(reply) : "an answer of type " + std::to_string(reply.Type);
    const WalkFrontier::Node& node = frontier_[open.node];
    Shown(false, "STATUS " + why + " (" + node.absolute + ")");
    if (open.node == 0 || !rules_.GoOnPastUnreadable) {
        throw EServerError("cannot read " + (node.relative.empty() ? node.absolute : node.relative) + ": " + why);
    }
    PassOver(totals_, observer_, node.relative, why);
    if (open.stage == Stage::Reading) {
        const std::string handle = open.handle;
        const std::string shown = "CLOSE " + node.absolute;
        open.stage = Stage::Closing;
        Request(sftp::kClose, handle, std::move(open), shown);
    }
}

void SftpWalker::Accept(int node, const TznFTPDirList& listing) {
    const WalkFrontier::Node& listed = frontier_[node];
    ++totals_.Directories;
    ListedInTree(rules_, listed.treeDir);
    observer_.DirectoryListed(listed.relative);
    const std::size_t firstChild = frontier_.Found();
    const LevelFiles own =
        ClassifyLevel(listing, listed.depth, listed.treeDir, rules_, totals_, [&](int index, int treeDir) {
            frontier_.Add(node, listing.Items(index).Name, treeDir);
            return true;
        });
    const auto now = std::chrono::steady_clock::now();
    gauge_.Listed(std::chrono::duration<double>(now - lastListed_).count(), LiveLanes(),
                  frontier_.Found() - firstChild);
    lastListed_ = now;
    frontier_.Listed(node, own.Bytes, own.Files, firstChild);
}

void SftpWalker::Shown(bool sent, const std::string& line) const {
    if (OnDialogue) OnDialogue(sent, line);
}

}  // namespace zn
