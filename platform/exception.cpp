// SPDX-License-Identifier: MIT
#include "platform/exception.h"

namespace platform {

Exception::Exception(const std::string& message) : std::runtime_error(message), message_(message) {}

}  // namespace platform
