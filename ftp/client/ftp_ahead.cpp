// SPDX-License-Identifier: MIT
// The one queue of commands sent. A server answers the commands on a
// control connection one by one in the order they came, so a client may
// send several and read the replies after, one wait for the server instead
// of one each; a command that waits for its reply is sent and has its reply
// read at once. The queue keeps, in the order sent, what each command
// expects, and each reply read is judged by its own command's expectation
// (sent_ahead.cpp).

#include "ftp/client/ftp.h"

#include "net/core/errors.h"

#include <stdexcept>

namespace zn {
namespace {

void IgnoreLine(const std::string&, std::int32_t) {}

}  // namespace

void TznFTP::SendAhead(const std::string& command, Expect expects, std::string path, int tag) {
    Send(SentAhead{command, expects, std::move(path), tag});
}

void TznFTP::Send(SentAhead sent) {
    SendLine(sent.Command);
    Ahead_.push_back(std::move(sent));
}

Answer TznFTP::ReceiveAhead(TznFTPDirList* list) { return Receive(list).Said; }

// The command leaves the queue before its reply is read: a reply that
// fails is not owed any more, whatever the caller does next.
TznFTP::Reply TznFTP::Receive(TznFTPDirList* list, std::vector<std::string>* kept) {
    if (Ahead_.empty()) throw std::logic_error("A reply read where no command waits for one");
    SentAhead sent = std::move(Ahead_.front());
    Ahead_.pop_front();
    if (sent.Expects == Expect::Listing) {
        TznFTPDirList unused;
        return ReceiveStatList(sent, list ? *list : unused);
    }
    const std::int32_t code = MayCarryListing(sent.Expects) ? ReadDataReply(IgnoreLine) : ReadReply(kept);
    const Answer said = JudgeReply(sent, code, LastReply());
    // After its "1xx" a listing command still owes its final reply.
    if (sent.Expects == Expect::DataOpening && said == Answer::AsExpected) {
        sent.Expects = Expect::Positive;
        Ahead_.push_front(std::move(sent));
    }
    return {code, said};
}

TznFTP::Reply TznFTP::Exchange(const std::string& command, Expect expects, std::vector<std::int32_t> codes,
                               std::vector<std::string>* kept) {
    Send(SentAhead{command, expects, {}, 0, std::move(codes)});
    return Receive(nullptr, kept);
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
            if (MayCarryListing(sent.Expects)) {
                ReadDataReply(IgnoreLine);
            } else {
                ReadReply();
            }
        } catch (const platform::Exception&) {
            // The reason the caller drains has already been reported; a
            // dialogue that fails here too is lost, and the caller says so.
            return false;
        }
    }
    return true;
}

// Whatever came in between, a reply out of place included, is read past:
// each is an earlier command's, and the PWD's is still owed.
void TznFTP::GetBackInStep(std::size_t mostReplies) {
    Ahead_.clear();
    const SentAhead pwd{"PWD", Expect::InStep, {}, 0};
    Send(pwd);
    for (std::size_t replies = 0;; ++replies) {
        if (replies >= mostReplies) {
            Ahead_.clear();
            RaiseOutOfStep();
        }
        if (Receive(nullptr).Said == Answer::AsExpected) return;
        Ahead_.push_front(pwd);
    }
}

void TznFTP::RaiseOutOfStep() const { throw EServerError("The server's replies are out of step: " + LastReply()); }

}  // namespace zn
