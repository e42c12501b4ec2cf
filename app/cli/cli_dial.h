// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class TComponent;
}
namespace zn {
class TznRas;
}

namespace cli {

class CliObserver;
class InterruptToCancel;

struct DialOptions {
    std::string entry;  // empty: dial nothing
    int timeoutSeconds = 120;
    bool timeoutGiven = false;
    bool listEntries = false;
};

// --list-dial-entries: the entries one a line on `out`. Returns the exit
// status.
int ListDialEntries(std::ostream& out, std::ostream& err);

// The dial-up link of one run: brings the entry up before the walk connects
// and hangs it up afterwards if this run dialled it (a link that was already
// up stays up). Without a dial-up service nothing is dialled and the walk
// goes on over whatever network there is; with one, an entry that cannot be
// brought up fails the run.
class DialUp {
public:
    DialUp(platform::TComponent& owner, const DialOptions& options, std::ostream& err, bool verbose);
    ~DialUp();
    DialUp(const DialUp&) = delete;
    DialUp& operator=(const DialUp&) = delete;

    // Raises when the entry cannot be brought up.
    void Dial();
    // Hangs up what Dial brought up, once.
    void HangUp();
    // Ends a dial that is waiting (Ctrl-C); a link that is up stays up until
    // the walk has ended and HangUp runs.
    void Cancel() {
        if (dialling_) HangUp();
    }
    // `handler` runs as soon as the link this run dialled goes down under
    // the walk; LinkDown() then says so, with the service's reason.
    void OnLinkDown(std::function<void()> handler) { onLinkDown_ = std::move(handler); }
    const std::string& LinkDown() const { return linkDown_; }

private:
    bool NothingToDial();
    void LinkLost();

    zn::TznRas* ras_ = nullptr;
    bool dialling_ = false;
    bool toHangUp_ = false;  // a dial, or an attempt that timed out, is up
    std::string entry_;
    std::string linkDown_;
    std::function<void()> onLinkDown_;
    std::ostream& err_;
};

// A link that went down leaves the walk nothing to wait for: it ends as a
// failure that says so, first, and `cancelWalk` stops every connection the
// walk may be waiting on. Ctrl-C (where `handleInterrupt`) ends a dial
// that waits, and the walk too.
void CancelOnLinkDownOrInterrupt(DialUp& dialUp, CliObserver& observer, const std::function<void()>& cancelWalk,
                                 bool handleInterrupt, std::optional<InterruptToCancel>& interrupt, bool& interrupted);

}  // namespace cli
