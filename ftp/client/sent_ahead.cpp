// SPDX-License-Identifier: MIT
// Every reply the client reads is judged here, by the expectation its own
// command was sent with.

#include "ftp/client/sent_ahead.h"

#include "net/core/errors.h"

#include <algorithm>

namespace zn {
namespace {

// The commands that keep a walk in step answer "200" (NOOP) and "257"
// (PWD); a STAT's listing comes as "211" to "213".
bool IsListingReply(std::int32_t code) { return code >= 211 && code <= 213; }

bool Listed(const std::vector<std::int32_t>& codes, std::int32_t code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

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

// A STAT's reply: the answers to the commands that keep a walk in step,
// where a STAT's was due, mean a reply went missing or came twice.
Answer JudgeListing(std::int32_t code, const std::string& reply) {
    if (code == 200 || code == 257) return Answer::OutOfStep;
    if (!IsListingReply(code)) throw EServerError(reply);
    return Answer::AsExpected;
}

Answer JudgeOffered(const SentAhead& sent, std::int32_t code, const std::string& reply) {
    if (sent.Codes.empty() ? code / 100 == 2 : Listed(sent.Codes, code)) return Answer::AsExpected;
    if (code / 100 == 5) return Answer::Refused;
    throw EServerError(reply);
}

Answer JudgeOptional(const SentAhead& sent, std::int32_t code) {
    return sent.Codes.empty() || Listed(sent.Codes, code) ? Answer::AsExpected : Answer::Refused;
}

Answer JudgeDataOpening(std::int32_t code, const std::string& reply) {
    if (code / 100 == 1) return Answer::AsExpected;
    if (code == 425) return Answer::Refused;
    throw EServerError(reply);
}

Answer JudgeConnectBackFailure(std::int32_t code, const std::string& reply) {
    if (code / 100 == 1 || code / 100 == 2) throw EServerError(reply);
    return Answer::Refused;
}

}  // namespace

Answer JudgeReply(const SentAhead& sent, std::int32_t code, const std::string& reply) {
    switch (sent.Expects) {
        case Expect::Completion: return code / 100 == 2 ? Answer::AsExpected : Answer::Refused;
        case Expect::Listing: return JudgeListing(code, reply);
        case Expect::Check: return JudgeCheck(code, reply);
        case Expect::EntryBeforeListing: return JudgeEntryBeforeListing(code, reply);
        case Expect::Positive:
            if (code / 100 != 2) throw EServerError(reply);
            return Answer::AsExpected;
        case Expect::OneOf:
            if (!Listed(sent.Codes, code)) throw EServerError(reply);
            return Answer::AsExpected;
        case Expect::Offered: return JudgeOffered(sent, code, reply);
        case Expect::Optional: return JudgeOptional(sent, code);
        case Expect::DataOpening: return JudgeDataOpening(code, reply);
        case Expect::ConnectBackFailure: return JudgeConnectBackFailure(code, reply);
        case Expect::InStep: return code == 257 ? Answer::AsExpected : Answer::OutOfStep;
    }
    return Answer::OutOfStep;
}

bool MayCarryListing(Expect expects) {
    return expects == Expect::Listing || expects == Expect::Check || expects == Expect::EntryBeforeListing ||
           expects == Expect::InStep;
}

}  // namespace zn
