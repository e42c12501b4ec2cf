// SPDX-License-Identifier: MIT
#include "ftp/fast_walker.h"

#include "ftp/listing_cut.h"
#include "net/errors.h"
#include "net/text_helpers.h"
#include "platform/exception.h"

#include <algorithm>
#include <optional>
#include <utility>
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

// No entry but "." and "..".
bool HoldsNothing(const TznFTPDirList& listing) {
    for (int i = 0; i < listing.Count(); ++i) {
        if (listing.Items(i).Name != "." && listing.Items(i).Name != "..") return false;
    }
    return true;
}

std::string Child(const std::string& parent, const std::string& name) {
    return parent == "/" ? "/" + name : parent + "/" + name;
}

}  // namespace

FastWalker::FastWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules)
    : ftp_(ftp), observer_(observer), rules_(std::move(rules)) {}

void FastWalker::Walk() {
    totals_ = WalkTotals{};
    designed_.reset();
    moved_ = false;
    statedCap_ = 0;
    selfChecking_ = false;
    try {
        bool hidden = false;
        form_ = ChooseForm(hidden);
        // Its hashes are of no more use, and a huge start holds many.
        startWhole_ = startDigest_.Whole();
        startDigest_ = ListingDigest{};
        observer_.ListingChosen(form_, hidden);
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
void FastWalker::BackToStart() {
    if (std::exchange(moved_, false)) ftp_.ChangeDir(start_);
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
    listForm_ = FullestList(ftp_, startListing_, hidden, startCut_, startDigest_);
    statedCap_ = StatedCap(startCut_);
    // Only Unix-style absolute paths can be built from names.
    if (start_.empty() || start_.front() != '/') return listForm_;
    for (const bool all : {false, true}) {
        TznFTPDirList byStat;
        ListingDigest digest;
        try {
            const SinkInPlace digesting(byStat, digest);
            ftp_.StatList(start_, byStat, ListingForm{lkStat, all}.Options());
        } catch (const EServerError&) {
            break;
        }
        digest.Finish();
        // A STAT that repeats its lines shows "more" than LIST, and
        // would count each entry twice.
        if (digest.ListsAllOf(startDigest_) && !digest.NamesAnEntryTwice()) {
            selfChecking_ = ftp_.ListingNamedItsPath();
            // Where LIST was cut, STAT is whole only if it shows more.
            if (!startCut_.empty() && !MayBeCut(digest.Count(), statedCap_)) startCut_.clear();
            startListing_.TakeEntries(byStat);
            startDigest_ = std::move(digest);
            return ListingForm{lkStat, all};
        }
        if (!hidden) break;
    }
    if (!OffersMachineListings()) return listForm_;
    TznFTPDirList byMachine;
    ListingDigest digest;
    try {
        const SinkInPlace digesting(ftp_.DirList(), digest);
        ftp_.ListMachine(start_);
    } catch (const EServerError&) {
        return listForm_;
    }
    digest.Finish();
    const std::string machineCut = TakeListing(ftp_, byMachine);
    if (!machineCut.empty() || !digest.ListsAllOf(startDigest_) || digest.NamesAnEntryTwice()) return listForm_;
    startListing_.TakeEntries(byMachine);
    startDigest_ = std::move(digest);
    startCut_.clear();
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
    nodes_.assign(1, Node{start_, "", 0, 0, 0, {}, false});
    pending_.clear();
    AcceptStart();
    while (!pending_.empty()) {
        const int node = pending_.back();
        pending_.pop_back();
        LevelSink sink(rules_, totals_, nodes_[node].treeDir);
        try {
            const SinkInPlace counting(ftp_.DirList(), sink);
            ftp_.ListMachine(nodes_[node].absolute);
        } catch (const EServerError&) {
            sink.RollBack();
            if (!MayPassOver(rules_, ftp_)) throw;
            PassOver(totals_, observer_, nodes_[node].relative, ftp_.LastReply());
            continue;
        }
        TznFTPDirList listing;
        sink.Deliver(listing);
        Accept(node, listing, CutReason(ftp_.LastReply()), sink.Own());
    }
    ReportDone(0);
}

// The designed walk with the fullest LIST, from the start directory's
// listing already read.
void FastWalker::RunDesignedWalk() {
    designed_ = std::make_unique<SiteWalker>(ftp_, observer_, rules_);
    designed_->WalkWith(form_, startListing_, startWhole_, startCut_);
    totals_ = designed_->Totals();
    designed_.reset();
}

void FastWalker::WalkByStat() {
    nodes_.assign(1, Node{start_, "", 0, 0, 0, {}, false});
    pending_.clear();
    order_.clear();
    window_ = kWindow;
    resyncs_ = 0;
    blanks_ = Blanks::Unknown;
    statCommand_ = form_.Command() + " ";
    // A start directory whose LIST was cut: its STAT holds no more, and
    // LIST in reverse may give the rest, while the start is still the
    // working directory.
    if (startWhole_) startCut_ = FromTheOtherEnd(ftp_, listForm_, startListing_, startCut_);
    ProbeBlanksBelowStart();
    OpenClients();
    AcceptStart();
    while (!pending_.empty() || !order_.empty()) {
        GrowConnections();
        SendAhead();
        if (!order_.empty()) ReceiveNext();
    }
    ReportDone(0);
}

void FastWalker::OpenClients() {
    clients_.clear();
    retired_.clear();
    load_.clear();
    unchecked_.clear();
    held_.clear();
    AddClient(&ftp_);
    turn_ = 0;
    gauge_ = ConnectionGauge(ftp_.LogonSeconds());
    lastListed_ = std::chrono::steady_clock::now();
}

void FastWalker::AddClient(TznFTP* ftp) {
    clients_.push_back(ftp);
    retired_.push_back(false);
    load_.push_back(0);
    unchecked_.push_back(0);
    held_.emplace_back();
}

int FastWalker::Working() const { return static_cast<int>(std::count(retired_.begin(), retired_.end(), false)); }

// Takes the connections whose logon is done, then asks for one more if it
// pays for the directories not listed yet: those waiting, and those in
// flight, whose subdirectories will wait.
void FastWalker::GrowConnections() {
    if (!further_) return;
    for (TznFTP* ftp : further_->TakeLoggedOn()) {
        gauge_.LogonTaken(ftp->LogonSeconds());
        AddClient(ftp);
    }
    std::size_t unlisted = pending_.size();
    for (const std::size_t inFlight : load_) unlisted += inFlight;
    if (gauge_.OneMorePays(unlisted, Working() + further_->Opening())) further_->OpenOne();
}

// The least loaded connection with room in its window, taken in turns, so
// that none sits idle long enough for the server to close it; the size of
// clients_ when every window is full.
std::size_t FastWalker::NextClient() {
    std::size_t best = clients_.size();
    for (std::size_t i = 0; i < clients_.size(); ++i) {
        const std::size_t client = (turn_ + i) % clients_.size();
        if (retired_[client] || load_[client] >= window_) continue;
        if (best == clients_.size() || load_[client] < load_[best]) best = client;
    }
    if (best < clients_.size()) turn_ = best + 1;
    return best;
}

// Fills the windows, then checks what each connection was sent since its
// last check, unless more is about to go there. A directory that must be
// listed by CWD and LIST waits until every reply in flight is in: those
// commands take the first connection's turn.
void FastWalker::SendAhead() {
    bool full = false;
    while (!pending_.empty()) {
        const int node = pending_.back();
        if (NeedsCwd(node)) {
            if (!order_.empty()) break;
            pending_.pop_back();
            ListNodeByCwd(node);
            continue;
        }
        if (!SendStat(node)) {
            full = true;
            break;
        }
    }
    if (full) return;
    for (std::size_t client = 0; client < clients_.size(); ++client) {
        if (unchecked_[client] > 0) SendCheck(client);
    }
}

bool FastWalker::SendStat(int node) {
    std::size_t client = NextClient();
    // A further connection the server has closed while it owed nothing
    // leaves the walk quietly.
    while (client > 0 && client < clients_.size() && !clients_[client]->Connected() && load_[client] == 0) {
        RetireClient(client);
        client = NextClient();
    }
    if (client == clients_.size()) return false;
    const std::string& path = nodes_[node].absolute;
    const bool byCwd = blanks_ == Blanks::Split && path.find(' ') != std::string::npos;
    const std::string argument = byCwd ? "." : path;
    try {
        if (byCwd && client == 0) moved_ = true;
        if (byCwd) Send(client, "CWD " + path, Expect::EntryBeforeListing);
        Send(client, statCommand_ + argument, Expect::Listing, argument, node);
    } catch (const ESocketError&) {
        if (client == 0) throw;
        LeaveToOthers(client, kCheck);
        return true;
    }
    pending_.pop_back();
    ++load_[client];
    if (!selfChecking_ && ++unchecked_[client] >= window_) SendCheck(client);
    return true;
}

void FastWalker::SendCheck(std::size_t client) {
    try {
        Send(client, "NOOP", Expect::Check);
    } catch (const ESocketError&) {
        if (client == 0) throw;
        LeaveToOthers(client, kCheck);
        return;
    }
    unchecked_[client] = 0;
}

// Each connection keeps its own commands and what they expect; the walk
// keeps which connection's reply comes next, so that it reads the replies
// in the order the commands went.
void FastWalker::Send(std::size_t client, const std::string& command, Expect expects, std::string path, int node) {
    clients_[client]->SendAhead(command, expects, std::move(path), node);
    order_.push_back(client);
}

// A path that STAT may not take as it stands: a component that starts like
// an option or holds a pattern character; one with a blank where the
// server splits STAT's argument at blanks (or before that is known: the
// first such directory is listed by CWD and tells); one whose STAT reply
// came with lines cut.
bool FastWalker::NeedsCwd(int node) {
    const Node& n = nodes_[node];
    if (n.byCwd || MayBeReadAsPattern(n.absolute)) return true;
    const bool blank = n.absolute.find(' ') != std::string::npos;
    return blank && (blanks_ == Blanks::Unknown || blanks_ == Blanks::SplitListed);
}

// A directory listed by CWD and LIST, over the first connection; one the
// server refuses is passed over where the rules allow it.
void FastWalker::ListNodeByCwd(int node) {
    TznFTPDirList listing;
    std::string cut;
    // The probe of blanks compares the whole listing with STAT's.
    const bool probe = blanks_ == Blanks::Unknown && nodes_[node].absolute.find(' ') != std::string::npos;
    LevelSink sink(rules_, totals_, nodes_[node].treeDir);
    try {
        cut = ListByCwd(nodes_[node].absolute, listing, probe ? nullptr : &sink);
    } catch (const EServerError&) {
        if (!MayPassOver(rules_, ftp_)) throw;
        PassOver(totals_, observer_, nodes_[node].relative, ftp_.LastReply());
        return;
    }
    if (probe) ProbeBlanks(node, listing);
    Accept(node, listing, cut, sink.Own());
}

// The listing by CWD of the first directory with a blank in its path,
// beside its STAT: the same entries, and STAT takes such paths whole. An
// empty directory tells nothing (both listings are empty whatever the
// server does with the blank): the next such directory is asked.
void FastWalker::ProbeBlanks(int node, TznFTPDirList& listing) {
    if (HoldsNothing(listing)) return;
    TznFTPDirList byStat;
    try {
        ftp_.StatList(nodes_[node].absolute, byStat, form_.Options());
    } catch (const EServerError&) {
        blanks_ = Blanks::SplitListed;
        return;
    }
    const bool same = ListsAllOf(byStat, listing) && ListsAllOf(listing, byStat) && !NamesAnEntryTwice(byStat);
    blanks_ = same ? Blanks::Whole : Blanks::SplitListed;
    if (same) return;
    // In the directory itself, "STAT ." has no blank to split at.
    TznFTPDirList byDot;
    try {
        moved_ = true;
        ftp_.ChangeDir(nodes_[node].absolute);
        ftp_.StatList(".", byDot, form_.Options());
    } catch (const EServerError&) {
        return;
    }
    if (ListsAllOf(byDot, listing) && ListsAllOf(listing, byDot) && !NamesAnEntryTwice(byDot)) blanks_ = Blanks::Split;
}

// A directory of the start with a blank in its name tells, before the
// further connections open, whether STAT takes such paths whole: one
// listing by CWD beside one by STAT. (pyftpdlib loses the first command of
// a session opened between two active-mode listings of another.)
void FastWalker::ProbeBlanksBelowStart() {
    for (int i = 0; i < startListing_.Count(); ++i) {
        const TznFTPDirEntry& entry = startListing_.Items(i);
        if (entry.Kind != dkDirectory || entry.Name.find(' ') == std::string::npos) continue;
        WalkTotals scratch;
        if (!EntersDirectory(entry.Name, rules_, scratch)) continue;
        nodes_.push_back(Node{Child(start_, entry.Name), entry.Name, 1, 0, 0, {}, false});
        const int probe = static_cast<int>(nodes_.size()) - 1;
        if (!MayBeReadAsPattern(nodes_[probe].absolute)) {
            TznFTPDirList listing;
            try {
                ListByCwd(nodes_[probe].absolute, listing);
                ProbeBlanks(probe, listing);
            } catch (const EServerError&) {
                // Refused: the walk meets it again and judges it there.
                if (!ftp_.Connected()) throw;
            }
        }
        nodes_.pop_back();
        return;
    }
}

// The oldest command's reply: each connection answers in its own order,
// and meanwhile the servers behind the others work on theirs. A further
// connection that the server closes (its idle time-out, "421") leaves its
// directories to the others.
void FastWalker::ReceiveNext() {
    const std::size_t client = order_.front();
    order_.pop_front();
    TznFTP& ftp = *clients_[client];
    const Expect expects = ftp.NextAhead().Expects;
    // The directory that goes to the others if the reply is lost: a STAT's.
    const int node = expects == Expect::Listing ? ftp.NextAhead().Tag : kCheck;
    try {
        if (node != kCheck) --load_[client];
        TakeReply(client, expects, node);
    } catch (const ESocketError&) {
        if (client == 0) throw;
        LeaveToOthers(client, node);
    } catch (const ETimedOutError&) {
        // A further connection that stopped answering: the others go on.
        if (client == 0) throw;
        LeaveToOthers(client, node);
    } catch (const EServerError&) {
        // A directory's STAT refused: held like a listing until the window's
        // check shows the reply was that directory's.
        if (node != kCheck && MayPassOver(rules_, ftp)) {
            held_[client].push_back(Held{node, nullptr, ftp.LastReply()});
            CheckHeld(client);
            return;
        }
        if (expects == Expect::EntryBeforeListing && MayPassOver(rules_, ftp) && PassOverRefusedEntry(client)) return;
        if (client == 0 || ftp.LastReply().rfind("421", 0) != 0) throw;
        LeaveToOthers(client, node);
    }
}

// The reply the walk reads next, from `client`, for `node` if a STAT's.
void FastWalker::TakeReply(std::size_t client, Expect expects, int node) {
    TznFTP& ftp = *clients_[client];
    auto listing = std::make_unique<TznFTPDirList>();
    // Where every reply so far named its directory, a listing is counted
    // as it arrives, and taken back if its reply is not as due.
    std::optional<LevelSink> sink;
    if (node != kCheck && selfChecking_ && held_[client].empty()) sink.emplace(rules_, totals_, nodes_[node].treeDir);
    const Answer answer = ReceiveCounted(ftp, *listing, sink ? &*sink : nullptr);
    if (sink && answer != Answer::AsExpected) sink->RollBack();
    if (sink && answer == Answer::AsExpected) sink->Deliver(*listing);
    switch (answer) {
        case Answer::OutOfStep: GetBackInStep(client, node); return;
        case Answer::LinesCut:
        case Answer::OtherDirectory:
            nodes_[node].byCwd = true;
            pending_.push_back(node);
            return;
        case Answer::AsExpected:
        case Answer::Refused: break;  // a CDUP's or a CWD's only, none here
    }
    if (expects == Expect::Check) {
        AcceptChecked(client);
    } else if (node != kCheck) {
        TakeStatListing(client, node, std::move(listing), sink ? &*sink : nullptr);
    }
}

// The next reply of `ftp` into `listing`, counted through `sink` if any,
// which takes back what it counted if the reply fails.
Answer FastWalker::ReceiveCounted(TznFTP& ftp, TznFTPDirList& listing, LevelSink* sink) {
    listing.Sink = sink;
    try {
        const Answer answer = ftp.ReceiveAhead(&listing);
        listing.Sink = nullptr;
        return answer;
    } catch (const platform::Exception&) {
        listing.Sink = nullptr;
        if (sink) sink->RollBack();
        throw;
    }
}

// A STAT listing as it came: one that may have been cut is listed again in
// a form that says so; one whose reply names its directory proves which
// command it answers and counts now; the others wait for their check. One
// counted as it came (`sink`) whose reply turns out to prove nothing is
// taken back and listed again, checked.
void FastWalker::TakeStatListing(std::size_t client, int node, std::unique_ptr<TznFTPDirList> listing,
                                 LevelSink* sink) {
    const TznFTP& ftp = *clients_[client];
    if (Suspect(sink ? sink->Entries() : listing->Count(), ftp.LastReply())) {
        if (sink) sink->RollBack();
        nodes_[node].byCwd = true;
        pending_.push_back(node);
        return;
    }
    if (selfChecking_ && ftp.ListingNamedItsPath() && held_[client].empty()) {
        Accept(node, *listing, {}, sink ? sink->Own() : LevelFiles{});
        return;
    }
    if (sink && sink->Counted()) {
        sink->RollBack();
        pending_.push_back(node);
        CheckHeld(client);
        return;
    }
    held_[client].push_back(Held{node, std::move(listing), {}});
    CheckHeld(client);
}

// The CWD before a "STAT ." refused: that STAT lists the directory the
// connection is still in, not the one it was sent for. Its reply is read
// and dropped; the refusal is held like a listing. False when the
// dialogue is not as sent, and the refusal stands.
bool FastWalker::PassOverRefusedEntry(std::size_t client) {
    TznFTP& ftp = *clients_[client];
    if (ftp.AheadCount() == 0 || ftp.NextAhead().Expects != Expect::Listing) return false;
    const std::string refusal = ftp.LastReply();
    const int refused = ftp.NextAhead().Tag;
    const auto owed = std::find(order_.begin(), order_.end(), client);
    if (owed == order_.end()) return false;
    order_.erase(owed);
    --load_[client];
    TznFTPDirList elsewhere;
    if (ftp.ReceiveAhead(&elsewhere) != Answer::AsExpected) {
        GetBackInStep(client, refused);
        return true;
    }
    held_[client].push_back(Held{refused, nullptr, refusal});
    CheckHeld(client);
    return true;
}

// Where replies prove themselves, a reply that does not waits for a NOOP
// of its own, and the walk checks by windows from here on.
void FastWalker::CheckHeld(std::size_t client) {
    if (!selfChecking_) return;
    selfChecking_ = false;
    // The STATs in flight went without a NOOP after them.
    for (std::size_t other = 0; other < clients_.size(); ++other) {
        if (!retired_[other] && (other == client || load_[other] > 0)) SendCheck(other);
    }
}

bool FastWalker::Suspect(int entries, const std::string& reply) {
    if (const int cap = StatedCap(reply)) statedCap_ = cap;
    return !CutReason(reply).empty() || MayBeCut(entries, statedCap_);
}

// A further connection the server closed, or reset: what it owed goes back
// to the queue for the others, and the walk goes on without it.
void FastWalker::LeaveToOthers(std::size_t client, int node) {
    std::deque<int> owed = TakeOwed(client);
    if (node != kCheck) owed.push_front(node);
    pending_.insert(pending_.end(), owed.rbegin(), owed.rend());
    RetireClient(client);
}

// A window's listings count once its NOOP is answered where it is due.
void FastWalker::AcceptChecked(std::size_t client) {
    std::vector<Held> listed = std::move(held_[client]);
    held_[client].clear();
    for (Held& held : listed) {
        if (held.listing) {
            Accept(held.node, *held.listing);
        } else {
            PassOver(totals_, observer_, nodes_[held.node].relative, held.refusal);
        }
    }
}

void FastWalker::RetireClient(std::size_t client) {
    retired_[client] = true;
    load_[client] = unchecked_[client] = 0;
    clients_[client]->Close();
}

// The directories a connection owes: those whose listings wait for their
// check, and those whose replies are still to come; its entries leave the
// commands in flight.
std::deque<int> FastWalker::TakeOwed(std::size_t client) {
    std::deque<int> owed;
    for (const Held& held : held_[client]) owed.push_back(held.node);
    held_[client].clear();
    for (const SentAhead& sent : clients_[client]->TakeAhead()) {
        if (sent.Expects == Expect::Listing) owed.push_back(sent.Tag);
    }
    std::erase(order_, client);
    load_[client] = unchecked_[client] = 0;
    return owed;
}

std::string FastWalker::ListByCwd(const std::string& absolute, TznFTPDirList& listing, LevelSink* sink) {
    moved_ = true;
    ftp_.ChangeDir(absolute);
    std::string cut = sink ? ListCounted(ftp_, listForm_, listing, *sink) : ListWhole(ftp_, listForm_, listing);
    if (const int cap = StatedCap(cut)) statedCap_ = cap;
    return cut;
}

// A start directory too big to keep from the choice of form is listed
// again with the form chosen, and counted as it arrives.
void FastWalker::AcceptStart() {
    if (startWhole_) return Accept(0, startListing_, startCut_);
    startListing_.Clear();
    TznFTPDirList listing;
    LevelSink sink(rules_, totals_, nodes_[0].treeDir);
    std::string cut;
    if (form_.Kind == lkMachine) {
        {
            const SinkInPlace counting(ftp_.DirList(), sink);
            ftp_.ListMachine(start_);
        }
        cut = CutReason(ftp_.LastReply());
        sink.Deliver(listing);
    } else {
        bool listed = true;
        try {
            const SinkInPlace counting(listing, sink);
            ftp_.StatList(start_, listing, form_.Options());
        } catch (const EServerError&) {
            if (!ftp_.Connected()) throw;
            listed = false;
        }
        if (!listed || Suspect(sink.Entries(), ftp_.LastReply())) {
            sink.RollBack();
            cut = ListByCwd(start_, listing, &sink);
        } else {
            sink.Deliver(listing);
        }
    }
    Accept(0, listing, cut, sink.Own());
}

void FastWalker::Accept(int node, const TznFTPDirList& listing, const std::string& cut, const LevelFiles& counted) {
    ++totals_.Directories;
    ListedInTree(rules_, nodes_[node].treeDir);
    observer_.DirectoryListed(nodes_[node].relative);
    if (!cut.empty()) ListedInPart(rules_, totals_, observer_, nodes_[node].treeDir, nodes_[node].relative, cut);
    const std::size_t firstChild = nodes_.size();
    LevelFiles own = counted;
    own.Add(
        ClassifyLevel(listing, nodes_[node].depth, nodes_[node].treeDir, rules_, totals_, [&](int index, int treeDir) {
            const Node& parent = nodes_[node];
            const std::string& name = listing.Items(index).Name;
            nodes_.push_back(Node{Child(parent.absolute, name),
                                  JoinPath(parent.relative, name),
                                  parent.depth + 1,
                                  0,
                                  0,
                                  {},
                                  false,
                                  treeDir});
            nodes_[node].children.push_back(static_cast<int>(nodes_.size()) - 1);
            return true;
        }));
    nodes_[node].bytes = own.Bytes;
    nodes_[node].files = own.Files;
    const auto now = std::chrono::steady_clock::now();
    gauge_.Listed(std::chrono::duration<double>(now - lastListed_).count(), Working(), nodes_.size() - firstChild);
    lastListed_ = now;
    // The first child is listed first: it goes on top.
    for (std::size_t child = nodes_.size(); child > firstChild; --child)
        pending_.push_back(static_cast<int>(child - 1));
    if (pending_.size() > kMaxWaiting) {
        throw platform::Exception("More than " + std::to_string(kMaxWaiting) +
                                  " directories wait to be listed; the walk stops at " + nodes_[node].relative);
    }
}

// A PWD, and every reply up to its "257", puts that connection back in
// step; the directories it owed are listed again, one command at a time on
// each connection from here on.
void FastWalker::GetBackInStep(std::size_t client, int node) {
    TznFTP& ftp = *clients_[client];
    if (++resyncs_ > kMaxResyncs) ftp.RaiseOutOfStep();
    std::deque<int> again = TakeOwed(client);
    if (node != kCheck) again.push_front(node);
    // Every command still owed a reply, the one out of place, and the PWD.
    ftp.GetBackInStep(again.size() * 2 + 3);
    pending_.insert(pending_.end(), again.rbegin(), again.rend());
    window_ = 1;
}

// After a failure, the first connection (which the window keeps using) is
// brought back in step: the replies to the commands sent ahead are read.
// A connection that gives no reply within its time-out is closed, so the
// ending costs one time-out at most; the further connections are closed by
// their owner without waiting.
void FastWalker::DrainAfterFailure() {
    if (!ftp_.DrainAhead()) ftp_.Close();
    for (const std::size_t client : order_) {
        if (client != 0) clients_[client]->TakeAhead();
    }
    order_.clear();
    pending_.clear();
    for (auto& held : held_) held.clear();
}

// The designed walk's order: each directory after everything below it.
std::pair<std::int64_t, std::int64_t> FastWalker::ReportDone(int node) {
    std::int64_t bytes = nodes_[node].bytes, files = nodes_[node].files;
    for (const int child : nodes_[node].children) {
        const auto [childBytes, childFiles] = ReportDone(child);
        bytes = AddSaturated(bytes, childBytes);
        files += childFiles;
    }
    observer_.DirectoryDone(nodes_[node].relative, nodes_[node].depth, bytes, files);
    return {bytes, files};
}

}  // namespace zn
