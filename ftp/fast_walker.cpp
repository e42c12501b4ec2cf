// SPDX-License-Identifier: MIT
#include "ftp/fast_walker.h"

#include "net/errors.h"
#include "net/text_helpers.h"
#include "platform/exception.h"

#include <algorithm>
#include <vector>

namespace zn {
namespace {

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
    try {
        bool hidden = false;
        form_ = ChooseForm(hidden);
        observer_.ListingChosen(form_, hidden);
        switch (form_.Kind) {
            case lkStat: WalkByStat(); break;
            case lkMachine: WalkByMachineListings(); break;
            case lkList: RunDesignedWalk(); break;
        }
    } catch (const platform::Exception& e) {
        Aborted = true;
        DrainAfterFailure();
        observer_.WalkFailed(e.Message());
    }
}

// The fullest listing of the start directory: its fullest LIST, then
// STAT (and "STAT -a" where STAT hides what "LIST -a" shows), then MLSD
// where FEAT offers it; the first that lists everything the LIST did is
// the walk's. Only a refusal (a reply other than the expected) passes a
// form over; a failure that ends the connection ends the walk. The
// listing of the form chosen is the start directory's, in startListing_.
ListingForm FastWalker::ChooseForm(bool& hidden) {
    try {
        start_ = ftp_.PrintWorkingDir();
    } catch (const EServerError&) {
        start_.clear();
    }
    listForm_ = FullestList(ftp_, startListing_, hidden);
    // Only Unix-style absolute paths can be built from names.
    if (start_.empty() || start_.front() != '/') return listForm_;
    for (const bool all : {false, true}) {
        TznFTPDirList byStat;
        try {
            ftp_.StatList(start_, byStat, ListingForm{lkStat, all}.Options());
        } catch (const EServerError&) {
            break;
        }
        if (ListsAllOf(byStat, startListing_)) {
            startListing_.TakeEntries(byStat);
            return ListingForm{lkStat, all};
        }
        if (!hidden) break;
    }
    if (!OffersMachineListings()) return listForm_;
    TznFTPDirList byMachine;
    try {
        ftp_.ListMachine(start_);
    } catch (const EServerError&) {
        return listForm_;
    }
    RefuseTruncatedListing(ftp_.LastReply());
    byMachine.TakeEntries(ftp_.DirList());
    if (!ListsAllOf(byMachine, startListing_)) return listForm_;
    startListing_.TakeEntries(byMachine);
    return ListingForm{lkMachine, false};
}

// "MLST type*;size*;modify*;" in FEAT's reply: machine listings that give
// each entry's type and size.
bool FastWalker::OffersMachineListings() {
    for (const std::string& feature : ftp_.Features()) {
        const std::string line = LowerCase(feature);
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || line.compare(start, 5, "mlst ") != 0) continue;
        if (line.find("type", start) != std::string::npos && line.find("size", start) != std::string::npos) return true;
    }
    return false;
}

// One directory at a time, each over a data connection of its own.
void FastWalker::WalkByMachineListings() {
    nodes_.assign(1, Node{start_, "", 0, 0, 0, {}});
    pending_.clear();
    Accept(0, startListing_);
    while (!pending_.empty()) {
        const int node = pending_.front();
        pending_.pop_front();
        ftp_.ListMachine(nodes_[node].absolute);
        RefuseTruncatedListing(ftp_.LastReply());
        TznFTPDirList listing;
        listing.TakeEntries(ftp_.DirList());
        Accept(node, listing);
    }
    ReportDone(0);
}

// The designed walk with the fullest LIST, from the start directory's
// listing already read.
void FastWalker::RunDesignedWalk() {
    designed_ = std::make_unique<SiteWalker>(ftp_, observer_, rules_);
    designed_->WalkWith(form_, startListing_);
    static_cast<WalkTotals&>(*this) = *designed_;
    designed_.reset();
}

void FastWalker::WalkByStat() {
    nodes_.assign(1, Node{start_, "", 0, 0, 0, {}});
    pending_.clear();
    inFlight_.clear();
    window_ = kWindow;
    statCommand_ = form_.Command() + " ";
    clients_.assign(1, &ftp_);
    if (helperSource_) {
        for (TznFTP* helper : helperSource_()) {
            if (helper && helper->Connected()) clients_.push_back(helper);
        }
    }
    load_.assign(clients_.size(), 0);
    Accept(0, startListing_);
    while (!pending_.empty() || !inFlight_.empty()) {
        SendAhead();
        if (!inFlight_.empty()) ReceiveNext();
    }
    ReportDone(0);
}

std::size_t FastWalker::LeastLoaded() const {
    return static_cast<std::size_t>(std::min_element(load_.begin(), load_.end()) - load_.begin());
}

// Fills the windows. A directory that must be listed by CWD and LIST waits
// until every reply in flight is in: those commands take the first
// connection's turn.
void FastWalker::SendAhead() {
    while (!pending_.empty()) {
        const int node = pending_.front();
        if (MayBeReadAsPattern(nodes_[node].absolute)) {
            if (!inFlight_.empty()) return;
            pending_.pop_front();
            TznFTPDirList listing;
            ListByCwd(nodes_[node].absolute, listing);
            Accept(node, listing);
            continue;
        }
        const std::size_t client = LeastLoaded();
        if (load_[client] >= window_) return;
        pending_.pop_front();
        clients_[client]->SendLine(statCommand_ + nodes_[node].absolute);
        inFlight_.push_back({client, node});
        ++load_[client];
    }
}

// The oldest command's reply: each connection answers in its own order,
// and meanwhile the servers behind the others work on theirs.
void FastWalker::ReceiveNext() {
    const auto [client, node] = inFlight_.front();
    inFlight_.pop_front();
    --load_[client];
    TznFTPDirList listing;
    if (!clients_[client]->ReceiveStatList(nodes_[node].absolute, listing, window_ > 1)) {
        GetBackInStep(client, node);
        return;
    }
    RefuseTruncatedListing(clients_[client]->LastReply());
    Accept(node, listing);
}

void FastWalker::ListByCwd(const std::string& absolute, TznFTPDirList& listing) {
    ftp_.ChangeDir(absolute);
    ftp_.List(listForm_.Options());
    RefuseTruncatedListing(ftp_.LastReply());
    listing.TakeEntries(ftp_.DirList());
}

void FastWalker::Accept(int node, const TznFTPDirList& listing) {
    ++Directories;
    ListedInTree(rules_, nodes_[node].treeDir);
    observer_.DirectoryListed(nodes_[node].relative);
    for (int i = 0; i < listing.Count(); ++i) {
        const TznFTPDirEntry& entry = listing.Items(i);
        if (entry.Kind != dkDirectory) {
            const std::int64_t bytesBefore = TotalBytes, filesBefore = TotalFiles;
            CountEntry(entry, *this, rules_.Tree, nodes_[node].treeDir);
            nodes_[node].bytes += TotalBytes - bytesBefore;
            nodes_[node].files += TotalFiles - filesBefore;
            continue;
        }
        if (!EntersDirectory(entry.Name, rules_, *this, nodes_[node].treeDir)) continue;
        const Node& parent = nodes_[node];
        if (parent.depth >= rules_.MaxDepth) throw platform::Exception(TooDeepMessage(rules_.MaxDepth, entry.Name));
        Node child{Child(parent.absolute, entry.Name),
                   parent.relative.empty() ? entry.Name : parent.relative + "/" + entry.Name, parent.depth + 1, 0, 0, {},
                   EnterInTree(rules_, parent.treeDir, entry.Name)};
        nodes_.push_back(std::move(child));
        const int index = static_cast<int>(nodes_.size()) - 1;
        nodes_[node].children.push_back(index);
        pending_.push_back(index);
    }
}

// A NOOP, and every reply up to its "200", puts that connection back in
// step; the directories whose replies it still owed are listed again, one
// command at a time on each connection from here on.
void FastWalker::GetBackInStep(std::size_t client, int node) {
    std::deque<int> again{node};
    std::deque<Sent> others;
    for (const Sent& sent : inFlight_) {
        if (sent.client == client) {
            again.push_back(sent.node);
        } else {
            others.push_back(sent);
        }
    }
    inFlight_ = std::move(others);
    load_[client] = 0;
    TznFTP& ftp = *clients_[client];
    ftp.SendLine("NOOP");
    const auto ignore = [](const std::string&, std::int32_t) {};
    for (std::size_t replies = 0;; ++replies) {
        if (replies > again.size() + 1) throw EServerError("The server's replies are out of step: " + ftp.LastReply());
        if (ftp.ReadDataReply(ignore) == 200) break;
    }
    pending_.insert(pending_.begin(), again.begin(), again.end());
    window_ = 1;
}

// After a refused STAT, the replies to the commands sent after it are
// still coming: read, so that each connection's next command gets its own
// reply.
void FastWalker::DrainAfterFailure() {
    const auto ignore = [](const std::string&, std::int32_t) {};
    for (const Sent& sent : inFlight_) {
        TznFTP& ftp = *clients_[sent.client];
        try {
            if (ftp.Connected()) ftp.ReadDataReply(ignore);
        } catch (const platform::Exception&) {
            // The walk has already failed; this failure adds nothing.
        }
    }
    inFlight_.clear();
    pending_.clear();
}

// The designed walk's order: each directory after everything below it.
std::pair<std::int64_t, std::int64_t> FastWalker::ReportDone(int node) {
    std::int64_t bytes = nodes_[node].bytes, files = nodes_[node].files;
    for (const int child : nodes_[node].children) {
        const auto [childBytes, childFiles] = ReportDone(child);
        bytes += childBytes;
        files += childFiles;
    }
    observer_.DirectoryDone(nodes_[node].relative, nodes_[node].depth, bytes, files);
    return {bytes, files};
}

}  // namespace zn
