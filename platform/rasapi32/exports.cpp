// SPDX-License-Identifier: MIT
// The eight entry points of the dial-up library, by their platform names and
// with C linkage. The phonebook and the dial parameters are always the
// default ones: NetworkManager has one set of connection profiles.

#include "platform/rasapi32/dialer.h"
#include "platform/rasapi32/errors.h"
#include "platform/rasapi32/functions.h"
#include "platform/rasapi32/nm_bus.h"

#include <cstring>

#define RAS_EXPORT extern "C" __attribute__((visibility("default")))

using namespace ras;

RAS_EXPORT DWORD RasEnumEntriesA(const char*, const char*, RASENTRYNAMEA* entries, DWORD* bytes, DWORD* count) {
    return nmras::EnumEntries(entries, bytes, count);
}

RAS_EXPORT DWORD RasEnumConnectionsA(RASCONNA* connections, DWORD* bytes, DWORD* count) {
    return nmras::EnumConnections(connections, bytes, count);
}

RAS_EXPORT DWORD RasGetProjectionInfoA(HRASCONN connection, DWORD projection, void* info, DWORD* bytes) {
    return nmras::GetProjectionInfo(connection, projection, info, bytes);
}

RAS_EXPORT DWORD RasGetEntryDialParamsA(const char*, RASDIALPARAMSA* params, BOOL* passwordStored) {
    return nmras::GetEntryDialParams(params, passwordStored);
}

RAS_EXPORT DWORD RasSetEntryDialParamsA(const char*, RASDIALPARAMSA* params, BOOL) {
    return nmras::SetEntryDialParams(params);
}

RAS_EXPORT DWORD RasDialA(void*, const char*, RASDIALPARAMSA* params, DWORD notifierType, HWND notifier,
                          HRASCONN* connection) {
    return nmras::Dial(params, notifierType, notifier, connection);
}

RAS_EXPORT DWORD RasHangUpA(HRASCONN connection) { return nmras::HangUp(connection); }

RAS_EXPORT DWORD RasGetErrorStringA(DWORD error, char* buffer, DWORD size) {
    return nmras::GetErrorString(error, buffer, size);
}
