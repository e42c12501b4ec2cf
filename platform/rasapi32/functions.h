// SPDX-License-Identifier: MIT
#pragma once

#include "platform/rasapi32/ras_api.h"

#include <cstring>
#include <string>

// The eight functions of the dial-up library, over NetworkManager. A
// phonebook entry is a NetworkManager connection profile, named by its id;
// a connection is one of NetworkManager's active connections.
namespace nmras {

using ras::DWORD;

DWORD EnumEntries(ras::RASENTRYNAMEA* entries, DWORD* bytes, DWORD* count);
DWORD GetEntryDialParams(ras::RASDIALPARAMSA* params, ras::BOOL* passwordStored);
DWORD SetEntryDialParams(const ras::RASDIALPARAMSA* params);
DWORD EnumConnections(ras::RASCONNA* connections, DWORD* bytes, DWORD* count);
DWORD GetProjectionInfo(ras::HRASCONN connection, DWORD projection, void* info, const DWORD* bytes);
DWORD Dial(const ras::RASDIALPARAMSA* params, DWORD notifierType, ras::HWND notifier, ras::HRASCONN* connection);
DWORD HangUp(ras::HRASCONN connection);
DWORD GetErrorString(DWORD error, char* buffer, DWORD size);

// Copies text into a fixed field, cut to fit, always NUL-terminated.
void CopyField(char* field, std::size_t size, const std::string& text);
// The text of a fixed field, up to its first NUL.
inline std::string FieldText(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

}  // namespace nmras
