#include "dialup/ras.h"

namespace zn {

TznRas::TznRas(platform::TComponent* owner) : platform::TComponent(owner) {}

void TznRas::Dial() { cancel_ = false; }

void TznRas::HangUp() { cancel_ = true; }

}  // namespace zn
