// SPDX-License-Identifier: MIT
// Commands sent ahead of their replies. A server answers the commands on a
// control connection one by one in the order they came, so a client may
// send several and read the replies after, one wait for the server instead
// of one each: the queue keeps, in the order sent, what each command
// expects, and each reply read is judged by its own command's expectation.

#include "ftp/client/ftp.h"

#include "net/core/errors.h"

#include <stdexcept>

namespace zn {
namespace {

// The commands that keep a walk in step answer "200" (NOOP) and "257"
// (PWD); a STAT's listing comes as "211" to "213".
bool IsListingReply(std::int32_t code) { return code >= 211 && code <= 213; }

void IgnoreLine(const std::string&, std::int32_t) {}

// A NOOP's reply: a failure raises; a listing's in its place is out of step.
Answer JudgeCheck(std::int32_t code, const std::string& reply) {
    if (code / 100 == 2 && !IsListingReply(code)) return Answer::AsExpected;
    if (code >= 400) throw EServerError(reply);
    return Answer::OutOfStep;
}

// The reply to the CWD before a "STAT .": refused, the walk fails there as
// the designed walk does; another command's reply in its place is out of
// step (the "STAT ." after it is still owed, and carries the directory).
Answer JudgeEntryBeforeListing(std::int32_t code, const std::string& reply) {
    if (code >= 400) throw EServerError(reply);
    if (code == 200 || code == 257 || IsListingReply(code)) return Answer::OutOfStep;
    return Answer::AsExpected;
}

}  // namespace

void TznFTP::SendAhead(const std::string& command, Expect expects, std::string path, int tag) {
    SendLine(command);
    Ahead_.push_back(SentAhead{command, expects, std::move(path), tag});
}

// The command leaves the queue before its reply is read: a reply that
// fails is not owed any more, whatever the caller does next.
Answer TznFTP::ReceiveAhead(TznFTPDirList* list) {
    if (Ahead_.empty()) throw std::logic_error("A reply read where no command waits for one");
    const SentAhead sent = std::move(Ahead_.front());
    Ahead_.pop_front();
    switch (sent.Expects) {
        case Expect::Completion: return ReadReply() / 100 == 2 ? Answer::AsExpected : Answer::Refused;
        case Expect::Listing: {
            TznFTPDirList unused;
            return ReceiveStatList(sent.Path, list ? *list : unused);
        }
        case Expect::Check: return JudgeCheck(ReadDataReply(IgnoreLine), LastReply());
        case Expect::EntryBeforeListing: return JudgeEntryBeforeListing(ReadDataReply(IgnoreLine), LastReply());
    }
    return Answer::OutOfStep;
}

std::deque<SentAhead> TznFTP::TakeAhead() {
    std::deque<SentAhead> taken = std::move(Ahead_);
    Ahead_.clear();
    return taken;
}

// A closed connection owes nothing. The replies' contents no longer
// matter, only that the next command's reply is the next one read.
bool TznFTP::DrainAhead() {
    for (const SentAhead& sent : TakeAhead()) {
        if (!Connected()) break;
        try {
            if (sent.Expects == Expect::Completion) {
                ReadReply();
            } else {
                ReadDataReply(IgnoreLine);
            }
        } catch (const platform::Exception&) {
            // The reason the caller drains has already been reported; a
            // dialogue that fails here too is lost, and the caller says so.
            return false;
        }
    }
    return true;
}

// Whatever came in between, a reply out of place included, is read past.
void TznFTP::GetBackInStep(std::size_t mostReplies) {
    Ahead_.clear();
    SendLine("PWD");
    for (std::size_t replies = 0;; ++replies) {
        if (replies >= mostReplies) RaiseOutOfStep();
        if (ReadDataReply(IgnoreLine) == 257) return;
    }
}

void TznFTP::RaiseOutOfStep() const { throw EServerError("The server's replies are out of step: " + LastReply()); }

}  // namespace zn
