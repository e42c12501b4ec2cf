// SPDX-License-Identifier: MIT
#pragma once

#include <QSocketNotifier>

#include <signal.h>

#include <functional>
#include <memory>

namespace cli {

// Ctrl-C reaches the event loop through a pipe and cancels the FTP client,
// which ends the walk as the Cancel button does in the window; `interrupted`
// then says so. The earlier handler is back when it ends.
class InterruptToCancel {
public:
    InterruptToCancel(std::function<void()> cancel, bool& interrupted);
    ~InterruptToCancel();
    InterruptToCancel(const InterruptToCancel&) = delete;
    InterruptToCancel& operator=(const InterruptToCancel&) = delete;

private:
    struct sigaction previous_ {};
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace cli
