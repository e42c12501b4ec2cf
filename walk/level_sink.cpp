// SPDX-License-Identifier: MIT
#include "walk/level_sink.h"

#include "ftp/listing/listing_cut.h"
#include "platform/exception.h"

namespace zn {

LevelSink::LevelSink(const WalkRules& rules, WalkTotals& totals, int treeDir, int keep)
    : rules_(rules), totals_(totals), treeDir_(treeDir), keep_(keep), before_(totals) {
    if (rules_.Tree) mark_ = rules_.Tree->MarkOf(treeDir_);
}

bool LevelSink::Take(std::unique_ptr<TznFTPDirEntry>& entry) {
    ++entries_;
    if (counting_) {
        Count(*entry);
    } else {
        held_.Add(std::move(entry));
        if (held_.Count() > keep_) StartCounting();
    }
    return true;
}

void LevelSink::StartCounting() {
    counting_ = true;
    TznFTPDirList held;
    held.TakeEntries(held_);
    for (int i = 0; i < held.Count(); ++i) Count(held.Items(i));
}

void LevelSink::Count(TznFTPDirEntry& entry) {
    if (entry.Kind == dkDirectory) {
        if (EntersDirectory(entry.Name, rules_, totals_, treeDir_))
            held_.Add(std::make_unique<TznFTPDirEntry>(std::move(entry)));
        return;
    }
    const std::int64_t filesBefore = totals_.TotalFiles;
    own_.Bytes = AddSaturated(own_.Bytes, CountEntry(entry, totals_, rules_.Tree, treeDir_));
    own_.Files += totals_.TotalFiles - filesBefore;
}

void LevelSink::Deliver(TznFTPDirList& into) { into.TakeEntries(held_); }

void LevelSink::RollBack() {
    totals_ = before_;
    if (mark_) rules_.Tree->RollBack(*mark_);
    held_.Clear();
    own_ = {};
    entries_ = 0;
    counting_ = false;
}

std::string ListCounted(TznFTP& ftp, const ListingForm& form, TznFTPDirList& into, LevelSink& sink) {
    try {
        const SinkInPlace counting(ftp.DirList(), sink);
        ftp.List(form.Options());
    } catch (const platform::Exception&) {
        sink.RollBack();
        throw;
    }
    sink.Deliver(into);
    std::string cut = CutReason(ftp.LastReply());
    if (!sink.Counted()) return FromTheOtherEnd(ftp, form, into, cut);
    if (cut.empty()) return cut;
    sink.RollBack();
    return ListWhole(ftp, form, into);
}

}  // namespace zn
