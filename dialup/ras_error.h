// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "platform/exception.h"

namespace zn {

// A failure reported by the dial-up service. The message is the service's
// text for the number, "RAS error no <number>" when it has none, or empty
// when there is no dial-up library at all.
class ERASError : public platform::Exception {
public:
    explicit ERASError(std::int32_t errorCode);
    std::int32_t ErrorCode;
};

}  // namespace zn
