// SPDX-License-Identifier: MIT
#include "ftp/listing/dir_list.h"

#include "ftp/listing/listing_formats.h"
#include "platform/exception.h"

#include <iterator>

namespace zn {

TznFTPDirList::~TznFTPDirList() { Clear(); }

TznFTPDirEntry& TznFTPDirList::Items(int index) {
    if (index < 0 || index >= Count()) {
        throw platform::EListError("List index out of bounds (" + std::to_string(index) + ")");
    }
    return *entries_[static_cast<std::size_t>(index)];
}

const TznFTPDirEntry& TznFTPDirList::Items(int index) const { return const_cast<TznFTPDirList*>(this)->Items(index); }

void TznFTPDirList::Clear() {
    while (!entries_.empty()) entries_.pop_back();
}

int TznFTPDirList::Add(std::unique_ptr<TznFTPDirEntry> entry) {
    if (Sink && Sink->Take(entry)) return Count() - 1;
    entries_.push_back(std::move(entry));
    return Count() - 1;
}

namespace {

using LineRule = bool (*)(const std::string& line, TznFTPDirEntry& entry);

// The rule of each family, by TServerType; stAuto reads nothing.
constexpr LineRule kRules[] = {
    nullptr,
    listing::ParseUnixLine,
    listing::ParseDosLine,
    listing::ParseHP3000Line,
    listing::ParseAS400Line,
    listing::ParseEplfLine,
    listing::ParseOs2Line,
    listing::ParseVShellLine,
    listing::ParseNumericUnixLine,
    listing::ParseHP3000NamesLine,
    listing::ParseVmsLine,
};

}  // namespace

int TznFTPDirList::ParseLine(const std::string& line) {
    auto entry = std::make_unique<TznFTPDirEntry>();
    const LineRule rule = ServerType < std::size(kRules) ? kRules[ServerType] : nullptr;
    if (!rule || !rule(line, *entry)) {
        entry->Kind = dkUnknown;
        entry->Name = line;
        entry->NameFrom = entry->NameLength = 0;
    }
    return Add(std::move(entry));
}

int TznFTPDirList::ParseMachineLine(const std::string& line) {
    auto entry = std::make_unique<TznFTPDirEntry>();
    if (!listing::ParseMachineLine(line, *entry)) {
        *entry = TznFTPDirEntry{};
        entry->Name = line;
    }
    return Add(std::move(entry));
}

void TznFTPDirList::Assign(const platform::TPersistent& source) {
    const auto* other = dynamic_cast<const TznFTPDirList*>(&source);
    if (!other) {
        platform::TPersistent::Assign(source);
        return;
    }
    if (other == this) return;
    Clear();
    entries_.reserve(other->entries_.size());
    for (const auto& entry : other->entries_) Add(std::make_unique<TznFTPDirEntry>(*entry));
}

void TznFTPDirList::TakeEntries(TznFTPDirList& source) {
    if (&source == this) return;
    Clear();
    entries_ = std::move(source.entries_);
    source.entries_.clear();
}

}  // namespace zn
