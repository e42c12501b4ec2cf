// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// The common base of every failure the components raise: it carries a
// message text and nothing else, so handlers tell failures apart by class.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message);
    const std::string& Message() const { return message_; }

private:
    std::string message_;
};

// Raised by the class library for misuse of its containers and copies.
class EListError : public Exception {
public:
    using Exception::Exception;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace platform
