// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace zn {

// Ids of the suite's own messages.
constexpr std::uint16_t kMsgTimedOut = 57000;
constexpr std::uint16_t kMsgCanceled = 57001;
constexpr std::uint16_t kMsgServerRequired = 57002;
constexpr std::uint16_t kMsgInvalidWinsockVersion = 57003;
constexpr std::uint16_t kMsgErrorResolvingHost = 57004;
constexpr std::uint16_t kMsgServiceNameRequired = 57005;
constexpr std::uint16_t kMsgProxyPortRequired = 57006;
constexpr std::uint16_t kMsgNotConnected = 57008;
constexpr std::uint16_t kMsgFunctionNotFound = 57010;
constexpr std::uint16_t kMsgWinsockNotLoaded = 57011;
constexpr std::uint16_t kMsgWinsockNotFound = 57012;

// The text of a message id, or "Error #<code>" when the table has none. A
// sockets error code is its own id, except 0, whose text has id 10000.
std::string LoadMessage(std::uint16_t code);

// The table text for an id, empty when there is none.
std::string FindMessageText(std::uint16_t id);

}  // namespace zn
