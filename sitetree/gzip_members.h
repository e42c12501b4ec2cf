// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

namespace zn {

// A text written to a file as a gzip stream (RFC 1952) of members, every
// member compressed whole by ISA-L's igzip at its level 1. gzip, zcat and
// gzread read the members as one stream. On a walk's text igzip is twice
// as fast as libdeflate's fastest level and four times zlib's, for a file
// as small, and the memory stays bounded however big the text.
//
// Keeping a walk is done after the walk, where every millisecond is one
// the user waits for, and making the text costs about as much as
// compressing it: so the text comes in parts that can be made apart, and
// two threads (the caller's and one of the writer's own) each take the
// next part, make its text and compress it as one member; whichever finds
// the next member in the file's order ready writes it. A thread slowed
// down holds up the other only once a few parts lie ready behind it, and
// memory stays those few parts' worth.

// One part of the text: appends its text to `text`.
using GzipPart = std::function<void(std::string& text)>;
// The next part, or an empty one after the last. Asked by one thread at a
// time, in turn: it only says where the part lies, and its text is made
// after, side by side with the other thread's.
using NextGzipPart = std::function<GzipPart()>;

// Whether the file must be on the disk, not only in the page cache, when
// the writer returns.
enum class Durability { Cached, Synced };

// Writes the parts to `fd`, which it closes; false when anything failed.
// Synced: the members go to the disk as they are written, and the file is
// flushed before it is closed, so the wait at the end is for the tail.
bool WriteGzipMembers(int fd, const NextGzipPart& next, Durability durability = Durability::Cached);

}  // namespace zn
