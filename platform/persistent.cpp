// SPDX-License-Identifier: MIT
#include "platform/persistent.h"

#include "platform/exception.h"

namespace platform {

void TPersistent::Assign(const TPersistent& source) {
    throw EConvertError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}

}  // namespace platform
