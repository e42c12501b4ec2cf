// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

namespace testsupport {

// The message of the exception of class E that `call` raises, or a marker
// when it raises nothing.
template <typename E>
std::string MessageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const E& e) {
        return e.Message();
    }
    return "<nothing raised>";
}

}  // namespace testsupport
