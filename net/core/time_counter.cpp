// SPDX-License-Identifier: MIT
#include "net/core/time_counter.h"

namespace zn {

TTimeCounter::TTimeCounter() : timer_(1000, [this] { Tick(); }) {}

void TTimeCounter::Start() {
    remaining_ = timeOut_;
    // The tick starts anew with the count: a timer left running from an
    // earlier wait would end this one up to a second early.
    timer_.Restart();
}

void TTimeCounter::Stop() { timer_.SetEnabled(false); }

void TTimeCounter::Tick() {
    --remaining_;
    if (remaining_ <= 0) timedOut_ = true;
}

}  // namespace zn
