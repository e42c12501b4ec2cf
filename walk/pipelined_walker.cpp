// SPDX-License-Identifier: MIT
#include "walk/pipelined_walker.h"

#include "ftp/listing/listing_cut.h"
#include "net/core/errors.h"
#include "platform/exception.h"

#include <utility>

namespace zn {
PipelinedWalker::PipelinedWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules)
    : ftp_(ftp), observer_(observer), rules_(std::move(rules)) {}

void PipelinedWalker::Walk() {
    totals_ = WalkTotals{};
    designed_.reset();
    moved_ = false;
    statedCap_ = 0;
    selfChecking_ = false;
    try {
        const ListingChoice choice = ChooseListing(ftp_, start_, knownStart_);
        form_ = choice.form;
        listForm_ = choice.listForm;
        statedCap_ = choice.statedCap;
        selfChecking_ = choice.selfChecking;
        // Its hashes are of no more use, and a huge start holds many.
        startWhole_ = start_.digest.Whole();
        start_.digest = ListingDigest{};
        observer_.ListingChosen(form_, choice.hidden);
        switch (form_.Kind) {
            case lkStat: WalkByStat(); break;
            case lkMachine: WalkByMachineListings(); break;
            case lkList: RunDesignedWalk(); break;
        }
        BackToStart();
    } catch (const platform::Exception& e) {
        DrainAfterFailure();
        AbortWalk(totals_, observer_, e.Message());
        // Still in step: the next walk must start where this one did.
        try {
            if (ftp_.Connected()) BackToStart();
        } catch (const platform::Exception&) {
            // That failure is the connection's; the walk's was reported.
        }
    }
}

// Where the walk listed by CWD, the first connection goes back to the
// start: the next walk, and the space left (AVBL), are the start's.
void PipelinedWalker::BackToStart() {
    if (std::exchange(moved_, false)) ftp_.ChangeDir(start_.path);
}

// One directory at a time, each over a data connection of its own.
void PipelinedWalker::WalkByMachineListings() {
    frontier_.Reset(start_.path);
    AcceptStart();
    while (!frontier_.Empty()) {
        const int node = frontier_.TakeNext();
        LevelSink sink(rules_, totals_, frontier_[node].treeDir);
        try {
            const SinkInPlace counting(ftp_.DirList(), sink);
            ftp_.ListMachine(frontier_[node].absolute);
        } catch (const EServerError&) {
            sink.RollBack();
            if (!MayPassOver(rules_, ftp_)) throw;
            PassOver(totals_, observer_, frontier_[node].relative, ftp_.LastReply());
            continue;
        }
        TznFTPDirList listing;
        sink.Deliver(listing);
        Accept(node, listing, CutReason(ftp_.LastReply()), sink.Own());
    }
    frontier_.ReportDone(observer_);
}

// The designed walk with the fullest LIST, from the start directory's
// listing already read.
void PipelinedWalker::RunDesignedWalk() {
    designed_ = std::make_unique<CwdWalker>(ftp_, observer_, rules_);
    designed_->WalkWith(form_, start_.listing, startWhole_, start_.cut);
    totals_ = designed_->Totals();
    designed_.reset();
}

void PipelinedWalker::WalkByStat() {
    frontier_.Reset(start_.path);
    window_ = kWindow;
    resyncs_ = 0;
    blanks_ = Blanks::Unknown;
    statCommand_ = form_.Command() + " ";
    // A start directory whose LIST was cut: its STAT holds no more, and
    // LIST in reverse may give the rest, while the start is still the
    // working directory.
    if (startWhole_) start_.cut = FromTheOtherEnd(ftp_, listForm_, start_.listing, start_.cut);
    ProbeBlanksBelowStart();
    OpenClients();
    AcceptStart();
    while (!frontier_.Empty() || lanes_.Awaiting()) {
        GrowConnections();
        SendAhead();
        if (lanes_.Awaiting()) ReceiveNext();
    }
    frontier_.ReportDone(observer_);
}

// Where the path may be read as something else, or STAT has failed it
// already, the directory is listed by CWD and LIST (path_policy.h).
PathListing PipelinedWalker::HowToList(int node) const {
    return zn::HowToList(frontier_[node].absolute, blanks_, frontier_[node].byCwd);
}

// A directory listed by CWD and LIST, over the first connection; one the
// server refuses is passed over where the rules allow it.
void PipelinedWalker::ListNodeByCwd(int node, bool probe) {
    TznFTPDirList listing;
    std::string cut;
    // The probe of blanks compares the whole listing with STAT's.
    const std::string& absolute = frontier_[node].absolute;
    LevelSink sink(rules_, totals_, frontier_[node].treeDir);
    try {
        cut = ListByCwd(absolute, listing, probe ? nullptr : &sink);
    } catch (const EServerError&) {
        if (!MayPassOver(rules_, ftp_)) throw;
        PassOver(totals_, observer_, frontier_[node].relative, ftp_.LastReply());
        return;
    }
    if (probe) ProbeBlanks(absolute, listing);
    Accept(node, listing, cut, sink.Own());
}

std::string PipelinedWalker::ListByCwd(const std::string& absolute, TznFTPDirList& listing, LevelSink* sink) {
    moved_ = true;
    ftp_.ChangeDir(absolute);
    std::string cut = sink ? ListCounted(ftp_, listForm_, listing, *sink) : ListWhole(ftp_, listForm_, listing);
    if (const int cap = StatedCap(cut)) statedCap_ = cap;
    return cut;
}

void PipelinedWalker::Accept(int node, const TznFTPDirList& listing, const std::string& cut,
                             const LevelFiles& counted) {
    const WalkFrontier::Node& listed = frontier_[node];
    ++totals_.Directories;
    ListedInTree(rules_, listed.treeDir);
    observer_.DirectoryListed(listed.relative);
    if (!cut.empty()) ListedInPart(rules_, totals_, observer_, listed.treeDir, listed.relative, cut);
    const std::size_t firstChild = frontier_.Found();
    LevelFiles own = counted;
    own.Add(ClassifyLevel(listing, listed.depth, listed.treeDir, rules_, totals_, [&](int index, int treeDir) {
        frontier_.Add(node, listing.Items(index).Name, treeDir);
        return true;
    }));
    const auto now = std::chrono::steady_clock::now();
    gauge_.Listed(std::chrono::duration<double>(now - lastListed_).count(), lanes_.Working(),
                  frontier_.Found() - firstChild);
    lastListed_ = now;
    frontier_.Listed(node, own.Bytes, own.Files, firstChild);
}

}  // namespace zn
