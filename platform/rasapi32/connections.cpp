// SPDX-License-Identifier: MIT
// Connections: NetworkManager's active connections, and their addresses.

#include "platform/rasapi32/dialer.h"
#include "platform/rasapi32/errors.h"
#include "platform/rasapi32/functions.h"
#include "platform/rasapi32/nm_bus.h"

#include <QDBusArgument>
#include <QtEndian>

#include <cstring>

namespace nmras {
namespace {

// The dial-up service's names for the kinds of link NetworkManager has.
std::string DeviceType(const QString& type) {
    if (type == QStringLiteral("vpn") || type == QStringLiteral("wireguard")) return "vpn";
    if (type == QStringLiteral("gsm") || type == QStringLiteral("cdma") || type == QStringLiteral("bluetooth"))
        return "modem";
    if (type == QStringLiteral("pppoe")) return "PPPoE";
    return type.toStdString();
}

std::string DeviceName(const QString& activePath) {
    auto devices = Property(activePath, kActiveInterface, QStringLiteral("Devices"));
    if (!devices) return {};
    for (const QString& device : ObjectPaths(*devices)) {
        auto name =
            Property(device, QStringLiteral("org.freedesktop.NetworkManager.Device"), QStringLiteral("Interface"));
        if (name) return name->toString().toStdString();
    }
    return {};
}

// The first IPv4 address of an IP4Config object: AddressData where
// NetworkManager has it, else the older Addresses (numbers in network order).
std::string FirstAddress(const QString& configPath) {
    if (auto data = Property(configPath, kIp4Interface, QStringLiteral("AddressData"))) {
        QList<QVariantMap> addresses;
        if (data->canConvert<QDBusArgument>()) data->value<QDBusArgument>() >> addresses;
        if (!addresses.isEmpty()) return addresses.first().value(QStringLiteral("address")).toString().toStdString();
    }
    if (auto old = Property(configPath, kIp4Interface, QStringLiteral("Addresses"))) {
        QList<QList<uint>> addresses;
        if (old->canConvert<QDBusArgument>()) old->value<QDBusArgument>() >> addresses;
        if (!addresses.isEmpty() && !addresses.first().isEmpty()) {
            const std::uint32_t address = qFromBigEndian(addresses.first().first());
            return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
                   std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
        }
    }
    return {};
}

}  // namespace

// Without NetworkManager no connection is up that this library could know:
// an empty list, so that a caller goes on over whatever network there is.
DWORD EnumConnections(ras::RASCONNA* connections, DWORD* bytes, DWORD* count) {
    if (!connections || !bytes || !count || connections->dwSize != sizeof(ras::RASCONNA)) return kErrorInvalidSize;
    QList<QString> active;
    if (NetworkManagerPresent()) {
        auto paths = Property(kManagerPath, kManagerInterface, QStringLiteral("ActiveConnections"));
        if (!paths) {
            return RefusalError(Call(kManagerPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                     QStringLiteral("Get"), {kManagerInterface, QStringLiteral("ActiveConnections")}));
        }
        active = ObjectPaths(*paths);
    }
    const DWORD needed = static_cast<DWORD>(active.size() * sizeof(ras::RASCONNA));
    if (*bytes < needed) {
        *bytes = needed;
        return kErrorBufferTooSmall;
    }
    for (qsizetype i = 0; i < active.size(); ++i) {
        ras::RASCONNA& out = connections[i];
        out.dwSize = sizeof(ras::RASCONNA);
        out.hrasconn = HandleFor(active[i]);
        const auto id = Property(active[i], kActiveInterface, QStringLiteral("Id"));
        const auto type = Property(active[i], kActiveInterface, QStringLiteral("Type"));
        CopyField(out.szEntryName, sizeof out.szEntryName, id ? id->toString().toStdString() : std::string());
        CopyField(out.szDeviceType, sizeof out.szDeviceType, DeviceType(type ? type->toString() : QString()));
        CopyField(out.szDeviceName, sizeof out.szDeviceName, DeviceName(active[i]));
    }
    *count = static_cast<DWORD>(active.size());
    return 0;
}

DWORD GetProjectionInfo(ras::HRASCONN connection, DWORD projection, void* info, const DWORD* bytes) {
    auto* ip = static_cast<ras::RASPPPIPA*>(info);
    if (projection != ras::kProjectionPppIp || !ip || !bytes || *bytes != sizeof(ras::RASPPPIPA) ||
        ip->dwSize != sizeof(ras::RASPPPIPA)) {
        return kErrorInvalidSize;
    }
    const QString path = PathOf(connection);
    if (path.isEmpty()) return kErrorInvalidHandle;
    ip->dwError = 0;
    std::string address;
    if (auto config = Property(path, kActiveInterface, QStringLiteral("Ip4Config"))) {
        const QString configPath = config->value<QDBusObjectPath>().path();
        if (!configPath.isEmpty() && configPath != QStringLiteral("/")) address = FirstAddress(configPath);
    }
    CopyField(ip->szIpAddress, sizeof ip->szIpAddress, address);
    return 0;
}

}  // namespace nmras
