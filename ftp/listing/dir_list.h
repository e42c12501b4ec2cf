// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/date_time.h"
#include "platform/persistent.h"

namespace zn {

// The listing family of a server. stAuto detects it from the next listing.
enum TServerType : std::uint8_t {
    stAuto = 0,
    stUnix = 1,
    stDos = 2,
    stHP3000 = 3,
    stAS400 = 4,
    stEplf = 5,
    stOs2 = 6,
    stVShell = 7,
    stNumericUnix = 8,
    stHP3000Names = 9,
    stVms = 10
};

enum TDirEntryKind : std::uint8_t { dkUnknown = 0, dkFile = 1, dkDirectory = 2, dkLink = 3 };

// One line of a listing. Names are kept whole, as bytes, so that they go back
// to the server unchanged.
struct TznFTPDirEntry {
    TDirEntryKind Kind = dkUnknown;
    // For dkUnknown: where the name stands in the raw line, when the line
    // shows it although its size cannot be known. Two 16-bit numbers fit
    // beside Kind, so no entry grows; a longer line keeps no name.
    std::uint16_t NameFrom = 0;
    std::uint16_t NameLength = 0;
    std::string Name;  // for dkUnknown: the raw line
    std::int64_t Size = 0;
    platform::TDateTime DateTime = 0;
    std::string LinkTarget;

    // The name a line that could not be counted still shows; empty when it
    // shows none.
    std::string_view UnreadName() const {
        return Kind == dkUnknown ? std::string_view(Name).substr(NameFrom, NameLength) : std::string_view();
    }
};

// Takes the entries of a listing one by one as they are read, so that a
// walk counts a huge directory without holding it: what it takes, the list
// does not keep.
class ListingSink {
public:
    virtual ~ListingSink() = default;
    // True when the entry was taken (the sink may move it), and the list
    // keeps no copy of it.
    virtual bool Take(std::unique_ptr<TznFTPDirEntry>& entry) = 0;
};

// The entries of one listing, in listing order, and the family used to read
// them.
class TznFTPDirList : public platform::TPersistent {
public:
    TznFTPDirList() = default;
    ~TznFTPDirList() override;
    TznFTPDirList(const TznFTPDirList&) = delete;
    TznFTPDirList& operator=(const TznFTPDirList&) = delete;

    // Raises platform::EListError for an index outside 0..Count-1.
    TznFTPDirEntry& Items(int index);
    const TznFTPDirEntry& Items(int index) const;
    int Count() const { return static_cast<int>(entries_.size()); }
    void Clear();
    int Add(std::unique_ptr<TznFTPDirEntry> entry);
    // Appends exactly one entry for the line, dkUnknown when it cannot be read.
    int ParseLine(const std::string& line);
    // The same for a line of a machine listing (MLSD).
    int ParseMachineLine(const std::string& line);
    // Copies the entries of another list, not its ServerType; refuses any
    // other class.
    void Assign(const platform::TPersistent& source) override;
    // Moves the entries of another list here and leaves it empty; neither
    // ServerType changes. A walk level keeps its listing so, without a copy.
    void TakeEntries(TznFTPDirList& source);
    std::string ClassName() const override { return "TznFTPDirList"; }

    TServerType ServerType = stAuto;
    // Offered each entry before the list keeps it; not the list's own, and
    // not moved with its entries.
    ListingSink* Sink = nullptr;

private:
    std::vector<std::unique_ptr<TznFTPDirEntry>> entries_;
};

// Rebuilds a list from one LIST transfer while it arrives, so that only the
// unfinished line is ever held beside the entries: Feed each chunk as it
// comes, then Finish. The family is detected from the first line when the
// list's ServerType is stAuto.
class ListingReader {
public:
    // Empties the list. A machine listing (MLSD) is read line by line with
    // its own rule, not by the list's family.
    explicit ListingReader(TznFTPDirList& list, bool machineListing = false);
    void Feed(std::string_view bytes);
    void Finish();

private:
    enum class Stage : std::uint8_t { FirstLine, HP3000Header, Entries };

    void TakeLine(std::string line);
    void Process(const std::string& line);
    void ProcessFirstLine(const std::string& line);
    void SkipHP3000Header(const std::string& line);
    void ProcessEntry(const std::string& line);

    TznFTPDirList& list_;
    std::string partial_;
    std::vector<std::string> heldBlanks_;
    std::string heldName_;  // a VMS name whose facts are on the next line
    Stage stage_ = Stage::FirstLine;
    bool afterCr_ = false;
    bool ended_ = false;
    bool machine_ = false;
};

// Rebuilds `list` from the bytes of one whole LIST transfer.
void ParseListing(std::string_view listing, TznFTPDirList& list);

}  // namespace zn
