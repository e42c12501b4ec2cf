// SPDX-License-Identifier: MIT
#include "app/cli/cli_dial.h"

#include "app/cli/cli_interrupt.h"
#include "app/cli/cli_observer.h"

#include "dialup/ras.h"
#include "dialup/ras_error.h"
#include "net/core/errors.h"
#include "platform/message_box.h"
#include "platform/messages.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>
#include <utility>

namespace cli {
namespace {

// Why the entry list is empty, for a user who asked for an entry.
std::string WhyNoEntries(const zn::TznRas& ras) {
    if (ras.LastError() != 0) return zn::ERASError(ras.LastError()).Message();
    return ras.LibraryLoaded() ? "there are no dial-up entries" : "no dial-up service was found";
}

// A machine without the service (no library, no NetworkManager) has
// nothing to dial; anything else that keeps the entry down is a failure.
bool WithoutDialUpService(const zn::TznRas& ras) {
    return !ras.LibraryLoaded() || ras.LastError() == static_cast<std::int32_t>(ras::kNoDialUpService);
}

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

}  // namespace

int ListDialEntries(std::ostream& out, std::ostream& err) {
    platform::EnsureApplication();
    platform::TComponent owner(nullptr);
    auto* ras = new zn::TznRas(&owner);
    for (const std::string& entry : ras->GetEntries()) out << entry << '\n';
    if (ras->RasAvailable() || ras->LastError() == 0) return 0;
    err << "dirweigh-cli: no dial-up entries: " << WhyNoEntries(*ras) << '\n';
    return 1;
}

DialUp::DialUp(platform::TComponent& owner, const DialOptions& options, std::ostream& err, bool verbose)
    : entry_(options.entry), err_(err) {
    if (entry_.empty()) return;
    ras_ = new zn::TznRas(&owner);
    ras_->SetTimeOut(options.timeoutSeconds);
    ras_->OnConnectionLost = [this](zn::TObject*) { LinkLost(); };
    if (verbose) {
        ras_->OnStatusChange = [this](zn::TObject*, const std::string& text) {
            if (!text.empty()) err_ << "dial-up: " << text << '\n';
        };
        ras_->OnDisconnected = [this](zn::TObject*) { err_ << "dial-up: hung up " << entry_ << '\n'; };
    }
}

DialUp::~DialUp() = default;

// Whatever the walk waits for on a link that went down would come only
// after --timeout: the walk is ended at once.
void DialUp::LinkLost() {
    toHangUp_ = false;
    linkDown_ = "the dial-up link " + entry_ + " went down: " + zn::ERASError(ras_->LastError()).Message();
    if (onLinkDown_) onLinkDown_();
}

// Walking on without the link asked for could reach another host of the
// same name, or none: only a machine without a dial-up service goes on.
bool DialUp::NothingToDial() {
    if (ras_->RasAvailable()) return false;
    if (WithoutDialUpService(*ras_)) {
        err_ << "dirweigh-cli: --dial " << entry_ << ": nothing dialled: " << WhyNoEntries(*ras_) << '\n';
        return true;
    }
    throw std::runtime_error("--dial " + entry_ + ": " + WhyNoEntries(*ras_) + " (see --list-dial-entries)");
}

void DialUp::Dial() {
    if (!ras_ || NothingToDial()) return;
    // The component explains a refused name in a message box; here it is a
    // line on stderr and a failed run.
    std::string refusal;
    auto previous = platform::SetMessageBoxHook(
        [&refusal](const std::string& text, const std::string&, platform::MessageBoxKind) { refusal = OneLine(text); });
    ras_->SetService(entry_);
    platform::SetMessageBoxHook(previous);
    if (ras_->Service().empty()) {
        throw std::runtime_error("--dial " + entry_ + ": " + refusal + " (see --list-dial-entries)");
    }
    dialling_ = true;
    toHangUp_ = true;
    try {
        ras_->Dial();
    } catch (const std::exception& e) {
        dialling_ = false;
        // A failed dial has been hung up, a cancelled one by Cancel; an
        // attempt that timed out is still there.
        if (!dynamic_cast<const zn::ETimedOutError*>(&e)) toHangUp_ = false;
        throw std::runtime_error("dialling " + entry_ + ": " + e.what());
    }
    dialling_ = false;
}

void DialUp::HangUp() {
    if (ras_ && std::exchange(toHangUp_, false)) ras_->HangUp();
}

void CancelOnLinkDownOrInterrupt(DialUp& dialUp, CliObserver& observer, const std::function<void()>& cancelWalk,
                                 bool handleInterrupt, std::optional<InterruptToCancel>& interrupt, bool& interrupted) {
    dialUp.OnLinkDown([&dialUp, &observer, cancelWalk] {
        observer.WalkFailed(dialUp.LinkDown());
        cancelWalk();
    });
    if (!handleInterrupt) return;
    interrupt.emplace(
        [&dialUp, cancelWalk] {
            dialUp.Cancel();
            cancelWalk();
        },
        interrupted);
}

}  // namespace cli
