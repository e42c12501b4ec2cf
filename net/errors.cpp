#include "net/errors.h"

#include "net/message_table.h"

namespace zn {

ECanceledError::ECanceledError() : Exception(LoadMessage(kMsgCanceled)) {}

ETimedOutError::ETimedOutError() : Exception(LoadMessage(kMsgTimedOut)) {}

}  // namespace zn
