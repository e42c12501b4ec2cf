// SPDX-License-Identifier: MIT
#pragma once

#include "platform/rasapi32/ras_api.h"

#include <QDBusMessage>

#include <cstdint>
#include <string>

// The library's error numbers: the dial-up service's own where one means
// the same, and a block of its own for what NetworkManager says.
namespace nmras {

constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorBufferTooSmall = 603;
constexpr std::uint32_t kErrorEntryNotFound = 623;
constexpr std::uint32_t kErrorInvalidSize = 632;
constexpr std::uint32_t kErrorNoNetworkManager = ras::kNoDialUpService;
// NetworkManager refused a call; its own message is the text.
constexpr std::uint32_t kErrorRefused = 20002;
// Two profiles have the name: a password would go to whichever came first.
constexpr std::uint32_t kErrorAmbiguousEntry = 20003;
// An activation that ended, plus NetworkManager's reason for it.
constexpr std::uint32_t kErrorActivationBase = 20100;
constexpr std::uint32_t kReasonCount = 15;

// Remembers the refusal's message for the text of kErrorRefused and returns
// that number. A missing bus or NetworkManager gives kErrorNoNetworkManager.
std::uint32_t RefusalError(const QDBusMessage& reply);

// The text of an error number of this library; empty when it has none.
std::string ErrorText(std::uint32_t error);

}  // namespace nmras
