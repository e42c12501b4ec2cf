// SPDX-License-Identifier: MIT
#include "platform/rasapi32/errors.h"

#include <QDBusError>

namespace nmras {
namespace {

// The error text is asked for right after the call failed (the error is
// built from the number alone), so the latest refusal is the one meant.
std::string& LatestRefusal() {
    static std::string text;
    return text;
}

// NetworkManager's reasons for ending an activation, by number.
const char* const kReasonTexts[kReasonCount] = {
    "The connection ended for an unknown reason",
    "The connection ended",
    "The connection was ended by the user",
    "The device of the connection was disconnected",
    "The VPN service stopped",
    "The connection's IP configuration was not valid",
    "The connection attempt timed out",
    "The VPN service did not start in time",
    "The VPN service failed to start",
    "The connection needs a password or other secret that was not given",
    "The login was refused",
    "The connection profile was removed",
    "A connection this one depends on failed",
    "The device of the connection could not be created",
    "The device of the connection was removed",
};

}  // namespace

std::uint32_t RefusalError(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    if (reply.type() != QDBusMessage::ErrorMessage ||
        name == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name == QDBusError::errorString(QDBusError::Disconnected)) {
        return kErrorNoNetworkManager;
    }
    LatestRefusal() = reply.errorMessage().isEmpty() ? name.toStdString() : reply.errorMessage().toStdString();
    return kErrorRefused;
}

std::string ErrorText(std::uint32_t error) {
    switch (error) {
        case kErrorInvalidHandle: return "The connection handle is not valid";
        case kErrorInvalidParameter: return "A parameter is not valid";
        case kErrorBufferTooSmall: return "The buffer is too small";
        case kErrorEntryNotFound: return "NetworkManager has no connection of that name";
        case kErrorInvalidSize: return "A structure has the wrong size";
        case kErrorNoNetworkManager: return "NetworkManager is not running on the system bus";
        case kErrorRefused: return "NetworkManager: " + LatestRefusal();
        case kErrorAmbiguousEntry: return "NetworkManager has more than one connection of that name";
        default: break;
    }
    if (error >= kErrorActivationBase && error < kErrorActivationBase + kReasonCount) {
        return kReasonTexts[error - kErrorActivationBase];
    }
    return {};
}

}  // namespace nmras
