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
// next part, make its text, compress it as one member and write it once
// every member before it is written. Memory stays two parts' worth.

// One part of the text: appends its text to `text`.
using GzipPart = std::function<void(std::string& text)>;
// The next part, or an empty one after the last. Asked by one thread at a
// time, in turn: it only says where the part lies, and its text is made
// after, side by side with the other thread's.
using NextGzipPart = std::function<GzipPart()>;

// Writes the parts to `fd`, which it closes; false when anything failed.
bool WriteGzipMembers(int fd, const NextGzipPart& next);

}  // namespace zn
