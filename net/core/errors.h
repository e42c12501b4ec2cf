// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/exception.h"

// The failures of the network components. The class tells the kind of
// failure; the text is all they carry.
namespace zn {

using Exception = platform::Exception;

// A failed sockets call or lookup, or a broken precondition of a socket.
class ESocketError : public Exception {
public:
    using Exception::Exception;
};

// A server reply that is not the expected one; the text is the reply line.
class EServerError : public Exception {
public:
    using Exception::Exception;
};

// A wait ended because the user cancelled. Always "Operation has been canceled".
class ECanceledError : public Exception {
public:
    ECanceledError();
};

// A wait ran out of time. Always "Operation timed out".
class ETimedOutError : public Exception {
public:
    // `detail` follows the standard text, to say what was waited for.
    explicit ETimedOutError(const std::string& detail = {});
};

// The sockets library is missing, not loaded, or lacks an entry point.
class EWinsockDLLError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace zn
