// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zn {

// How the reply to a command is judged. Every command waits in the one
// queue of commands sent (TznFTP) with its expectation, and every reply is
// judged by its own command's expectation in one place (JudgeReply).
enum class Expect : std::uint8_t {
    // CDUP, CWD: any "2xx"; another reply is a refusal its sender weighs.
    Completion,
    // "STAT <path>": that directory's listing (TznFTP::ReceiveAhead).
    Listing,
    // The NOOP that checks a window of listings: its "200" where it is due.
    Check,
    // The CWD before a "STAT .": a refusal raises, as CWD does.
    EntryBeforeListing,
    // Any "2xx"; another reply raises (CWD, QUIT, TYPE, PORT, PBSZ...).
    Positive,
    // One of the codes listed; another reply raises (the greeting, USER,
    // PASS, PWD, PASV).
    OneOf,
    // One of the codes listed, any "2xx" where none is; a "5xx" is a
    // refusal: the server does not offer the command after all (EPRT, EPSV,
    // AVBL). Another reply raises.
    Offered,
    // One of the codes listed, any reply where none is; another reply is a
    // refusal its sender weighs, never a failure (FEAT, AUTH TLS, OPTS).
    Optional,
    // A listing command's "1xx": its data connection may open, and its
    // final reply, a "2xx", is still owed. "425" is a refusal its sender
    // weighs (the server could not connect back); another reply raises.
    DataOpening,
    // The final reply of a listing command whose data connection never
    // came: it says why, as a refusal; a "1xx" or "2xx" raises.
    ConnectBackFailure,
    // The PWD that gets a dialogue back in step: its "257". Any other reply
    // is an earlier command's, out of step, and the PWD's is still owed.
    InStep,
};

// What the reply to a command said, judged by what it expects.
enum class Answer : std::uint8_t {
    AsExpected,
    // The server refused the command, and its sender weighs that (a
    // Completion's, an Offered's, an Optional's, a DataOpening's, a
    // ConnectBackFailure's).
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

// A command sent over the control connection whose reply has not been read
// yet: what was sent, the reply it waits for, and what its sender sent it
// for.
struct SentAhead {
    std::string Command;
    Expect Expects = Expect::Completion;
    // A listing's directory, as its reply may name it ("." for the working
    // directory, which a reply may name in full).
    std::string Path;
    // The sender's own mark, handed back with the reply.
    int Tag = 0;
    // The codes a OneOf, Offered or Optional expectation accepts.
    std::vector<std::int32_t> Codes = {};
};

// The reply `code` (whose last line is `reply`) to `sent`, judged by what it
// expects; a reply it does not allow for raises EServerError quoting
// `reply`. A listing's code only: what the listing holds is judged as it
// is read.
Answer JudgeReply(const SentAhead& sent, std::int32_t code, const std::string& reply);

// The expectations whose replies may carry a listing over the control
// connection (their own, or another command's in their place): read line
// by line as they come, none kept.
bool MayCarryListing(Expect expects);

}  // namespace zn
