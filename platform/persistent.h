// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace platform {

// A copyable object: descendants override Assign for the sources they know
// and pass every other source to this base, which refuses it.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual void Assign(const TPersistent& source);
    virtual std::string ClassName() const = 0;
};

}  // namespace platform
