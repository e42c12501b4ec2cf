// SPDX-License-Identifier: MIT
// Phonebook entries: NetworkManager's connection profiles, by id.

#include "platform/rasapi32/errors.h"
#include "platform/rasapi32/functions.h"
#include "platform/rasapi32/nm_bus.h"

#include <QDBusArgument>

#include <cstring>

namespace nmras {
namespace {

QString Text(const nmras::Settings& settings, const char* setting, const char* key) {
    return settings.value(QString::fromLatin1(setting)).value(QString::fromLatin1(key)).toString();
}

// A VPN plugin keeps its user name among its own data.
QString VpnDataUser(const nmras::Settings& settings) {
    const QVariant data = settings.value(QStringLiteral("vpn")).value(QStringLiteral("data"));
    QMap<QString, QString> values;
    if (data.canConvert<QDBusArgument>()) data.value<QDBusArgument>() >> values;
    for (const char* key : {"username", "user"}) {
        if (values.contains(QString::fromLatin1(key))) return values.value(QString::fromLatin1(key));
    }
    return {};
}

// The user name where the profile's kind has one: a VPN, a mobile-broadband
// or PPPoE link, or an 802.1X login.
QString UserName(const nmras::Settings& settings) {
    for (const QString& name : {Text(settings, "vpn", "user-name"), VpnDataUser(settings),
                                Text(settings, "gsm", "username"), Text(settings, "cdma", "username"),
                                Text(settings, "pppoe", "username"), Text(settings, "802-1x", "identity")}) {
        if (!name.isEmpty()) return name;
    }
    return {};
}

QString EntryName(const ras::RASDIALPARAMSA& params) {
    return QString::fromStdString(FieldText(params.szEntryName, sizeof params.szEntryName));
}

}  // namespace

void CopyField(char* field, std::size_t size, const std::string& text) {
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

DWORD EnumEntries(ras::RASENTRYNAMEA* entries, DWORD* bytes, DWORD* count) {
    if (!entries || !bytes || !count || entries->dwSize != sizeof(ras::RASENTRYNAMEA)) return kErrorInvalidSize;
    QList<Profile> profiles;
    QDBusMessage error;
    if (!Profiles(profiles, error)) return RefusalError(error);
    const DWORD needed = static_cast<DWORD>(profiles.size() * sizeof(ras::RASENTRYNAMEA));
    if (*bytes < needed) {
        *bytes = needed;
        return kErrorBufferTooSmall;
    }
    for (qsizetype i = 0; i < profiles.size(); ++i) {
        entries[i].dwSize = sizeof(ras::RASENTRYNAMEA);
        CopyField(entries[i].szEntryName, sizeof entries[i].szEntryName, profiles[i].Id().toStdString());
    }
    *count = static_cast<DWORD>(profiles.size());
    return 0;
}

// The password is never read back from NetworkManager: it stays with
// NetworkManager and its secret agents, so the entry always reads as having
// none stored, and the caller's password (if any) goes with the dial.
DWORD GetEntryDialParams(ras::RASDIALPARAMSA* params, ras::BOOL* passwordStored) {
    if (!params || !passwordStored || params->dwSize != sizeof(ras::RASDIALPARAMSA)) return kErrorInvalidSize;
    Profile profile;
    if (const DWORD error = ProfileNamed(EntryName(*params), profile)) return error;
    CopyField(params->szUserName, sizeof params->szUserName, UserName(profile.settings).toStdString());
    std::memset(params->szPassword, 0, sizeof params->szPassword);
    *passwordStored = 0;
    return 0;
}

// Nothing is written to the profile: a password given here is used for the
// dial that follows and is never stored, whatever the caller asked.
DWORD SetEntryDialParams(const ras::RASDIALPARAMSA* params) {
    if (!params || params->dwSize != sizeof(ras::RASDIALPARAMSA)) return kErrorInvalidSize;
    Profile profile;
    return ProfileNamed(EntryName(*params), profile);
}

DWORD GetErrorString(DWORD error, char* buffer, DWORD size) {
    if (!buffer || size == 0) return kErrorInvalidParameter;
    const std::string text = ErrorText(error);
    if (text.empty()) return kErrorInvalidParameter;
    CopyField(buffer, size, text);
    return 0;
}

}  // namespace nmras
