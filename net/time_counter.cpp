#include "net/time_counter.h"

namespace zn {

TTimeCounter::TTimeCounter() : timer_(1000, [this] { Tick(); }) {}

void TTimeCounter::Start() {
    remaining_ = timeOut_;
    timer_.SetEnabled(true);
}

void TTimeCounter::Stop() { timer_.SetEnabled(false); }

void TTimeCounter::Tick() {
    --remaining_;
    if (remaining_ <= 0) timedOut_ = true;
}

}  // namespace zn
