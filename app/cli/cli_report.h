// SPDX-License-Identifier: MIT
#pragma once

#include "net/core/text_helpers.h"
#include "sitetree/space_used.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct Totals {
    std::int64_t bytes = 0;
    std::int64_t files = 0;
    std::int64_t directories = 0;
    std::int64_t skippedDirectories = 0;
    std::int64_t refusedDirectories = 0;  // names holding "/" or empty
    std::int64_t unparsedLines = 0;
    bool complete = true;
    std::string error;                      // the first failure, when not complete
    bool tls = false;                       // the dialogue and the listings went over TLS
    std::string listing;                    // the command each directory was listed with: "STAT", "LIST -a", ...
    std::optional<std::int64_t> available;  // the space left, where the server tells it (AVBL)
    // Directories the server refused to open or list, and those it listed
    // only in part: the walk went past them, and the total is a lower bound.
    std::int64_t unreadableDirectories = 0;
    std::int64_t cutDirectories = 0;
    // The walk reached its end, but for what it could not read or count
    // exactly: the sums are shown, and complete is false.
    bool walkedThrough = false;

    // The sums stand for something: exact, or at least a lower bound.
    bool Measured() const { return complete || walkedThrough; }
};

struct DuLine {
    std::string path;
    int depth;
    std::int64_t bytes;
};

// "1272954913 bytes (1.19 GiB), 4982 files, 500 directories", and what was
// left out: directories not entered, listing lines not read. With the space
// left known: "(851.00 MiB of 1.00 GiB, 83%)".
std::string SummaryLine(const Totals& totals);
// One JSON object with every total.
std::string JsonObject(const Totals& totals);
// Bytes and path of each directory, children before their parent.
std::string DuListing(const std::vector<DuLine>& lines, int maxDepth);
// What the user has (zn::Capacity) for the walk's totals.
std::optional<std::int64_t> Capacity(const Totals& totals);
using zn::UsedOf;
// The length of the well-formed UTF-8 sequence at `at`, 0 when there is
// none (a stray continuation byte, an overlong form, a surrogate, a cut).
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at);
// A JSON string of bytes that may not be UTF-8: what is not well-formed
// becomes U+FFFD.
std::string JsonString(const std::string& text);
using zn::HumanSize;

}  // namespace cli
