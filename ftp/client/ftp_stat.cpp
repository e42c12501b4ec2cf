// SPDX-License-Identifier: MIT
// Listings over the control connection: "STAT <path>" answers, on many
// servers (vsftpd, pyftpdlib, ...), with the directory's listing as a
// multi-line reply (RFC 959, section 4.1.3), with no data connection to
// set up and tear down. And PWD, for the absolute paths such a walk uses,
// FEAT, for what else the server offers, and AVBL, for the space left.

#include "ftp/client/ftp.h"

#include "net/core/errors.h"
#include "net/core/text_helpers.h"
#include "platform/str_to_int.h"

#include <algorithm>
#include <optional>

namespace zn {

// 257 "/path" comment: the quoted path, "" inside it standing for one quote.
std::string TznFTP::PrintWorkingDir() {
    Exchange("PWD", Expect::OneOf, {257});
    const std::string& reply = LastReply();
    std::size_t at = reply.find('"');
    if (at == std::string::npos) throw EServerError(reply);
    std::string path;
    for (++at; at < reply.size(); ++at) {
        if (reply[at] != '"') {
            path += reply[at];
        } else if (at + 1 < reply.size() && reply[at + 1] == '"') {
            path += '"';
            ++at;
        } else {
            return path;
        }
    }
    throw EServerError(reply);
}

// The TLS check asks before the logon, the walk and the space left after
// it: each asks the server once. The answer before the logon is not reused
// after it, since a server may offer more once it knows the user.
std::vector<std::string> TznFTP::Features() {
    if (Features_) return *Features_;
    std::vector<std::string> lines;
    if (Exchange("FEAT", Expect::Optional, {211}, &lines).Said != Answer::AsExpected) lines.clear();
    Features_ = lines;
    if (Epsv_ == Extended::Unknown && FeatureListed(lines, "EPSV")) Epsv_ = Extended::Listed;
    if (Eprt_ == Extended::Unknown && FeatureListed(lines, "EPRT")) Eprt_ = Extended::Listed;
    if (Utf8_ == Utf8Switch::NotOffered && FeatureListed(lines, "UTF8")) Utf8_ = Utf8Switch::Offered;
    if (LoggedOn_ && Utf8_ == Utf8Switch::Offered) {
        Utf8_ = Utf8Switch::Asked;
        // A server that refuses only keeps sending names as it did.
        Exchange("OPTS UTF8 ON", Expect::Optional);
    }
    return lines;
}

// " AVBL" in FEAT's listing, then "AVBL" answered "213 <bytes>" for the
// working directory. A server that cannot tell (550) or does not know the
// command after all (500, 502) leaves the space unknown.
std::optional<std::int64_t> TznFTP::AvailableSpace() {
    bool offered = false;
    for (const std::string& line : Features()) {
        if (line.empty() || line[0] != ' ') continue;  // the first and last lines are no features
        const std::string_view feature = TrimControl(line);
        if (LowerCase(feature.substr(0, feature.find(' '))) == "avbl") offered = true;
    }
    if (!offered) return std::nullopt;
    if (Exchange("AVBL", Expect::Offered, {213}).Said == Answer::Refused) return std::nullopt;
    const std::string& reply = LastReply();
    const std::string number(TrimControl(std::string_view(reply).substr(std::min<std::size_t>(3, reply.size()))));
    const auto bytes = platform::StrToInt64(number);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || !bytes) {
        throw EServerError(reply);
    }
    return *bytes;
}

namespace {

// The directory a STAT reply says it lists: quoted, 'Status of "/path":'
// (pyftpdlib), or not, "212-Status of /dir001:" (proftpd); nothing where
// it names none ("213-Status follows:").
std::optional<std::string> NamedPath(const std::string& firstLine) {
    const std::size_t open = firstLine.find('"'), close = firstLine.rfind('"');
    if (open != std::string::npos && close != open) return firstLine.substr(open + 1, close - open - 1);
    const std::size_t of = LowerCase(firstLine).find("status of /");
    if (of == std::string::npos) return std::nullopt;
    std::string path = firstLine.substr(of + 10);
    while (!path.empty() && (path.back() == '\r' || path.back() == '\n')) path.pop_back();
    if (path.empty() || path.back() != ':') return std::nullopt;
    path.pop_back();
    return path;
}

// "/site/photos:" in the reply to "STAT /site/photos 2020": a server that
// splits its argument at blanks lists each part under a header, as ls does
// with several paths. A header is a leading or trailing part of the path
// asked for, cut at a blank, with a colon.
bool IsSectionHeader(std::string_view line, const std::string& path) {
    if (line.size() < 2 || line.back() != ':' || path.find(' ') == std::string::npos) return false;
    const std::string part(line.substr(0, line.size() - 1));
    return path.starts_with(part + " ") || path.ends_with(" " + part);
}

}  // namespace

void TznFTP::StatList(const std::string& path, TznFTPDirList& list, const std::string& options) {
    Send(SentAhead{options.empty() ? "STAT " + path : "STAT " + options + " " + path, Expect::Listing, path});
    if (Receive(&list).Said != Answer::AsExpected) throw EServerError(LastReply());
}

TznFTP::Reply TznFTP::ReceiveStatList(const SentAhead& sent, TznFTPDirList& list) {
    const std::string& path = sent.Path;
    ListingNamedPath_ = false;
    TznFTPDirList incoming;
    incoming.ServerType = DirList_->ServerType;
    incoming.Sink = list.Sink;
    ListingReader reader(incoming);
    std::string first;
    bool cut = false;
    bool header = false;
    const std::int32_t code = ReadDataReply(
        [&](const std::string& line, std::int32_t replyCode) {
            cut = cut || line.size() >= kLineMax;
            // Some servers repeat "213-" on every line, some indent by one
            // space; neither belongs to the listing.
            std::string_view body(line);
            if (body.size() >= 4 && body[3] == '-' && body.substr(0, 3) == std::to_string(replyCode)) {
                body.remove_prefix(4);
            } else if (!body.empty() && body.front() == ' ') {
                body.remove_prefix(1);
            }
            header = header || IsSectionHeader(body, path);
            reader.Feed(body);
            reader.Feed("\n");
        },
        &first);
    const Answer said = JudgeReply(sent, code, LastReply());
    if (said != Answer::AsExpected) return {code, said};
    // "." names the working directory, which the reply may give in full.
    const std::optional<std::string> named = NamedPath(first);
    if (path != "." && named && *named != path) return {code, Answer::OutOfStep};
    ListingNamedPath_ = path != "." && named;
    if (cut) return {code, Answer::LinesCut};
    if (header) return {code, Answer::OtherDirectory};
    reader.Finish();
    list.TakeEntries(incoming);
    list.ServerType = DirList_->ServerType = incoming.ServerType;
    return {code, Answer::AsExpected};
}

}  // namespace zn
