// SPDX-License-Identifier: MIT
#include "app/cli/cli_interrupt.h"

#include "platform/messages.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace cli {
namespace {

int interruptPipe[2] = {-1, -1};

void OnInterrupt(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = write(interruptPipe[1], &byte, 1);
}

}  // namespace

InterruptToCancel::InterruptToCancel(std::function<void()> cancel, bool& interrupted) {
    if (interruptPipe[0] < 0 && pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, &previous_);
    notifier_ = std::make_unique<QSocketNotifier>(interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                     platform::Guarded([cancel = std::move(cancel), &interrupted] {
                         char drain[16];
                         while (read(interruptPipe[0], drain, sizeof drain) > 0) {
                         }
                         interrupted = true;
                         cancel();
                     }));
}

InterruptToCancel::~InterruptToCancel() {
    if (notifier_) sigaction(SIGINT, &previous_, nullptr);
}

}  // namespace cli
