// SPDX-License-Identifier: MIT
#include "net/core/errors.h"

#include "net/core/message_table.h"

namespace zn {

ECanceledError::ECanceledError() : Exception(LoadMessage(kMsgCanceled)) {}

ETimedOutError::ETimedOutError(const std::string& detail) : Exception(LoadMessage(kMsgTimedOut) + detail) {}

}  // namespace zn
