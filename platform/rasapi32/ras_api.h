// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The parts of the Remote Access Service client library ("rasapi32.dll")
// that the dial-up component uses: our own declarations of the ANSI
// structures, laid out to the sizes their size fields announce.
namespace ras {

using DWORD = std::uint32_t;
using BOOL = std::int32_t;
using HRASCONN = std::int32_t;  // -1: no connection
using HWND = std::uintptr_t;

constexpr int kMaxEntryName = 256;
constexpr int kMaxDeviceType = 16;
constexpr int kMaxDeviceName = 128;
constexpr int kMaxPhoneNumber = 128;
constexpr int kMaxCallbackNumber = 128;
constexpr int kUNLEN = 256;
constexpr int kPWLEN = 256;
constexpr int kDNLEN = 15;

constexpr DWORD kConnected = 8192;      // RASCS_Connected
constexpr DWORD kDisconnected = 8193;   // RASCS_Disconnected
constexpr DWORD kBufferTooSmall = 603;  // ERROR_BUFFER_TOO_SMALL
// The library's number for a machine without the dial-up service (on
// Linux: no NetworkManager on the system bus). Like a missing library, it
// means there is nothing to dial rather than a dial that failed.
constexpr DWORD kNoDialUpService = 20001;
constexpr DWORD kProjectionPppIp = 0x8021;
constexpr DWORD kNotifierWindow = 0xFFFFFFFF;

struct RASENTRYNAMEA {
    DWORD dwSize;
    char szEntryName[kMaxEntryName + 1];
};

struct RASCONNA {
    DWORD dwSize;
    HRASCONN hrasconn;
    char szEntryName[kMaxEntryName + 1];
    char szDeviceType[kMaxDeviceType + 1];
    char szDeviceName[kMaxDeviceName + 1];
};

struct RASDIALPARAMSA {
    DWORD dwSize;
    char szEntryName[kMaxEntryName + 1];
    char szPhoneNumber[kMaxPhoneNumber + 1];
    char szCallbackNumber[kMaxCallbackNumber + 1];
    char szUserName[kUNLEN + 1];
    char szPassword[kPWLEN + 1];
    char szDomain[kDNLEN + 1];
};

struct RASPPPIPA {
    DWORD dwSize;
    DWORD dwError;
    char szIpAddress[16];
};

static_assert(sizeof(RASENTRYNAMEA) == 264);
static_assert(sizeof(RASCONNA) == 412);
static_assert(sizeof(RASDIALPARAMSA) == 1052);
static_assert(sizeof(RASPPPIPA) == 24);

constexpr int kEntryCapacity = 25;       // 6600 bytes
constexpr int kConnectionCapacity = 10;  // 4120 bytes

using RasEnumEntriesA_fn = DWORD (*)(const char* reserved, const char* phonebook, RASENTRYNAMEA* entries, DWORD* bytes,
                                     DWORD* count);
using RasEnumConnectionsA_fn = DWORD (*)(RASCONNA* connections, DWORD* bytes, DWORD* count);
using RasGetProjectionInfoA_fn = DWORD (*)(HRASCONN connection, DWORD projection, void* info, DWORD* bytes);
using RasGetEntryDialParamsA_fn = DWORD (*)(const char* phonebook, RASDIALPARAMSA* params, BOOL* passwordStored);
using RasSetEntryDialParamsA_fn = DWORD (*)(const char* phonebook, RASDIALPARAMSA* params, BOOL removePassword);
using RasDialA_fn = DWORD (*)(void* extensions, const char* phonebook, RASDIALPARAMSA* params, DWORD notifierType,
                              HWND notifier, HRASCONN* connection);
using RasHangUpA_fn = DWORD (*)(HRASCONN connection);
using RasGetErrorStringA_fn = DWORD (*)(DWORD error, char* buffer, DWORD size);

}  // namespace ras
