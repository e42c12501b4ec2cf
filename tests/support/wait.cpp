// SPDX-License-Identifier: MIT
#include "tests/support/wait.h"

#include "platform/messages.h"

#include <QTimer>

namespace testsupport {

bool WaitUntil(const std::function<bool()>& condition, double seconds) {
    bool expired = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] { expired = true; });
    deadline.start(static_cast<int>(seconds * 1000));
    platform::ProcessMessages();
    bool met = condition();
    while (!met && !expired) {
        platform::WaitForNextEvent();
        met = condition();
    }
    return met;
}

void RunEventLoopFor(double seconds) {
    WaitUntil([] { return false; }, seconds);
}

}  // namespace testsupport
