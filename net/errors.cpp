// SPDX-License-Identifier: MIT
#include "net/errors.h"

#include "net/message_table.h"

namespace zn {

ECanceledError::ECanceledError() : Exception(LoadMessage(kMsgCanceled)) {}

ETimedOutError::ETimedOutError(const std::string& detail) : Exception(LoadMessage(kMsgTimedOut) + detail) {}

}  // namespace zn
