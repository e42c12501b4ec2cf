// SPDX-License-Identifier: MIT
#include "walk/walk_session.h"

#include "net/core/errors.h"
#include "net/core/text_helpers.h"
#include "walk/pipelined_walker.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace zn {
namespace {

std::string Tag(int number) { return "[" + std::to_string(number) + "] "; }

// A further connection the server leaves unanswered is not worth the whole
// time-out, at its logon or later: what it owes goes to the others, and the
// first connection keeps the user's time-out. (pyftpdlib now and then never
// answers a session opened just after another's active-mode listing.)
constexpr std::int32_t kHelperLogonSeconds = 10;

void CopySettings(const TznFTP& from, TznFTP& to) {
    to.SetWinsockLoaded(true);
    to.SetServer(from.Server());
    to.SetUserName(from.UserName());
    to.SetPassword(from.Password());
    to.SetTimeOut(std::min(from.TimeOut(), kHelperLogonSeconds));
    to.SetPassive(from.Passive());
    to.SetPassiveFallback(from.PassiveFallback());
    to.SetUseProxy(from.UseProxy());
    if (from.UseProxy()) to.SetProxy(from.Proxy());
    to.SetProxyType(from.ProxyType());
    // As secure as the first connection, or not at all: once the first is
    // in TLS, a further one that cannot be (a server that offers AUTH TLS
    // on the first connection only) fails before its password and the walk
    // goes on without it; it must also show the certificate the first one
    // accepted. Without TLS on the first, there is nothing to keep. An
    // implicit TLS server speaks nothing else on its port.
    if (from.TlsActive()) {
        to.SetTlsMode(from.TlsMode() == tmImplicit ? tmImplicit : tmRequire);
        to.SetTrustedFingerprint(from.TrustedFingerprint());
        to.SetRequiredFingerprint(from.ServerFingerprint());
    } else {
        to.SetTlsMode(tmOff);
    }
}

bool RefusesMoreConnections(const std::string& message) {
    const std::string lowered = LowerCase(message);
    return lowered.rfind("421", 0) == 0 ||
           (lowered.rfind("530", 0) == 0 && lowered.find("too many") != std::string::npos);
}

void EndWalkSessions(const std::vector<TznFTP*>& clients, bool aborted) {
    std::vector<TznFTP*> asked;
    for (TznFTP* ftp : clients) {
        if (aborted || !ftp->Connected()) {
            ftp->Close();
            continue;
        }
        try {
            // Replies the walk still owed are not read one by one: the next
            // reply is taken as the QUIT's.
            ftp->TakeAhead();
            ftp->SendAhead("QUIT", Expect::Completion);
            asked.push_back(ftp);
        } catch (const std::exception&) {
            ftp->Close();
        }
    }
    // The servers answer their QUITs side by side; once one has let its
    // time-out pass, the others have had as long and are not waited for.
    bool late = false;
    for (TznFTP* ftp : asked) {
        try {
            if (!late) ftp->ReceiveAhead();
        } catch (const ETimedOutError&) {
            late = true;
        } catch (const std::exception&) {
            // The totals are in; a refused QUIT changes nothing.
        }
        ftp->Close();
    }
}

}  // namespace

std::string ShownCommand(const std::string& line) {
    return line.rfind("PASS ", 0) == 0 ? std::string("PASS ********") : line;
}

void ShowDialogue(TznFTP& ftp, WalkSessionObserver& observer, const std::string& tag) {
    ftp.OnLineSent = [&observer, tag](TObject*, const std::string& line) {
        observer.LineSent(tag, ShownCommand(line));
    };
    ftp.OnLineReceived = [&observer, tag](TObject*, const std::string& line) { observer.LineReceived(tag, line); };
    ftp.OnSecured = [&observer, &ftp, tag](TObject*) { observer.Secured(tag, ftp); };
}

WalkSession::WalkSession(TznFTP& first, WalkSessionObserver& observer, Settings settings)
    : first_(first), observer_(observer), most_(settings.Connections) {
    if (!settings.Fast) {
        walker_ = std::make_unique<CwdWalker>(first, observer, std::move(settings.Rules));
        return;
    }
    auto fast = std::make_unique<PipelinedWalker>(first, observer, std::move(settings.Rules));
    fast->SetFurtherConnections(this);
    walker_ = std::move(fast);
}

std::string WalkSession::LearnStart() {
    std::string start;
    try {
        start = first_.PrintWorkingDir();
    } catch (const EServerError&) {
        // A server without PWD: the path as typed stands in.
        return start;
    }
    walker_->KnowStart(start);
    return start;
}

void WalkSession::OpenOne() {
    if (!first_.Connected() || ConnectionsUsed() + Opening() >= most_) return;
    const int number = 2 + opened_++;
    auto* ftp = new TznFTP(&owner_);
    CopySettings(first_, *ftp);
    ShowDialogue(*ftp, observer_, Tag(number));
    opening_.emplace_back(ftp, number);
    try {
        ftp->BeginLogon();
    } catch (const ECanceledError&) {
        throw;  // the user's Cancel, meant for the whole walk
    } catch (const std::exception& e) {
        opening_.pop_back();
        LogonFailed(ftp, number, e.what());
        return;
    }
    observer_.ConnectionOpening(Tag(number));
}

// A failed logon ends the opening: whatever refused this one would refuse
// the next. A Cancel (Ctrl-C) is meant for the whole walk: the first
// connection has it too, and the walk must end as cancelled, not go on
// with a connection the Cancel closed.
std::vector<TznFTP*> WalkSession::TakeLoggedOn() {
    std::vector<TznFTP*> ready;
    for (std::size_t i = 0; i < opening_.size();) {
        auto [ftp, number] = opening_[i];
        bool done = false;
        try {
            done = ftp->ContinueLogon();
        } catch (const ECanceledError&) {
            throw;
        } catch (const std::exception& e) {
            opening_.erase(opening_.begin() + static_cast<std::ptrdiff_t>(i));
            LogonFailed(ftp, number, e.what());
            continue;
        }
        if (!done) {
            ++i;
            continue;
        }
        opening_.erase(opening_.begin() + static_cast<std::ptrdiff_t>(i));
        further_.push_back(ftp);
        ready.push_back(ftp);
    }
    return ready;
}

void WalkSession::LogonFailed(TznFTP* ftp, int number, const std::string& message) {
    if (!RefusesMoreConnections(message)) observer_.ConnectionFailed(Tag(number), message);
    most_ = 0;
    delete ftp;
}

bool WalkSession::FurtherSecured() const {
    return std::all_of(further_.begin(), further_.end(), [](const TznFTP* ftp) { return ftp->TlsActive(); });
}

void WalkSession::CancelFurther() {
    for (TznFTP* ftp : further_) ftp->Cancel();
    for (auto& [ftp, number] : opening_) ftp->Cancel();
}

void WalkSession::End(bool aborted, bool withFirst) {
    for (auto& [ftp, number] : std::exchange(opening_, {})) ftp->Close();
    std::vector<TznFTP*> ending = std::exchange(further_, {});
    if (withFirst) ending.push_back(&first_);
    EndWalkSessions(ending, aborted);
}

}  // namespace zn
