// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace zn {

// How the reply to a command sent ahead is judged.
enum class Expect : std::uint8_t {
    // CDUP, CWD: any "2xx"; another reply is a refusal its sender weighs.
    Completion,
    // "STAT <path>": that directory's listing (TznFTP::ReceiveAhead).
    Listing,
    // The NOOP that checks a window of listings: its "200" where it is due.
    Check,
    // The CWD before a "STAT .": a refusal raises, as CWD does.
    EntryBeforeListing,
};

// What the reply to a command sent ahead said, judged by what it expects.
enum class Answer : std::uint8_t {
    AsExpected,
    // Only a Completion's: the server refused the command.
    Refused,
    // Another command's reply came in its place (a listing's "211" to
    // "213" where a NOOP's "200" was due, a reply naming another
    // directory): a reply went missing or came twice.
    OutOfStep,
    // A listing whose lines were longer than a reply line may be, and came
    // cut: a name in it may be cut too.
    LinesCut,
    // A listing under an ls-style "path:" section header made of part of
    // the path asked for: the server split the path at a blank and listed
    // something else.
    OtherDirectory,
};

// A command sent over the control connection before the replies to those
// sent earlier were read: what was sent, the reply it waits for, and what
// its sender sent it for.
struct SentAhead {
    std::string Command;
    Expect Expects = Expect::Completion;
    // A listing's directory, as its reply may name it ("." for the working
    // directory, which a reply may name in full).
    std::string Path;
    // The sender's own mark, handed back with the reply.
    int Tag = 0;
};

}  // namespace zn
