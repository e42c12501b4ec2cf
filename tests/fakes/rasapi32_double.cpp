// SPDX-License-Identifier: MIT
// A scriptable stand-in for the dial-up service's client library, for tests:
// a phonebook, active connections and scripted dial outcomes. Dial progress
// is posted as "RASDIALEVENT" messages to the window given to RasDialA, and
// every call is counted. Built as librasapi32.so in a directory of its own.

#include "platform/messages.h"
#include "platform/rasapi32/ras_api.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#define RAS_EXPORT extern "C" __attribute__((visibility("default")))

using namespace ras;

namespace {

struct Connection {
    std::string entry;
    HRASCONN handle;
    std::string ip;
};

struct State {
    std::map<std::string, bool> entries;  // name -> password stored
    std::vector<std::string> entryOrder;
    std::vector<Connection> connections;
    std::vector<DWORD> dialStates;
    DWORD dialError = 0;
    bool dialConnects = true;
    std::map<std::string, DWORD> failures;
    std::map<DWORD, std::string> errorTexts;
    std::map<std::string, int> calls;
    std::vector<HRASCONN> hangUps;
    std::string setPassword;
    BOOL setRemovePassword = -1;
    std::string dialPassword;
    HRASCONN nextHandle = 1000;
    HWND notifier = 0;
};

State& The() {
    static State state;
    return state;
}

DWORD Fail(const char* fn) {
    ++The().calls[fn];
    auto it = The().failures.find(fn);
    return it == The().failures.end() ? 0 : it->second;
}

void Copy(char* field, std::size_t size, const std::string& text) {
    std::strncpy(field, text.c_str(), size - 1);
    field[size - 1] = '\0';
}

}  // namespace

RAS_EXPORT void RasDouble_Reset() { The() = State{}; }
RAS_EXPORT void RasDouble_AddEntry(const char* name, int passwordStored) {
    The().entries[name] = passwordStored != 0;
    The().entryOrder.push_back(name);
}
RAS_EXPORT void RasDouble_AddConnection(const char* entry, int handle, const char* ip) {
    The().connections.push_back({entry, handle, ip});
}
RAS_EXPORT void RasDouble_ScriptDial(const DWORD* states, int count, DWORD error, int connects) {
    The().dialStates.assign(states, states + count);
    The().dialError = error;
    The().dialConnects = connects != 0;
}
RAS_EXPORT void RasDouble_Fail(const char* function, DWORD error) { The().failures[function] = error; }
RAS_EXPORT void RasDouble_ErrorText(DWORD error, const char* text) { The().errorTexts[error] = text; }
RAS_EXPORT int RasDouble_Calls(const char* function) { return The().calls[function]; }
RAS_EXPORT int RasDouble_HangUps(HRASCONN* handles, int capacity) {
    int n = 0;
    for (HRASCONN h : The().hangUps) {
        if (n < capacity) handles[n] = h;
        ++n;
    }
    return n;
}
RAS_EXPORT const char* RasDouble_SetPassword(int* removePassword) {
    *removePassword = The().setRemovePassword;
    return The().setPassword.c_str();
}
// A notification out of the blue, as when a dialled line drops.
RAS_EXPORT void RasDouble_Notify(DWORD state, DWORD error) {
    platform::PostMessage(The().notifier, platform::RegisterWindowMessage("RASDIALEVENT"), state,
                          static_cast<platform::LPARAM>(error));
}
RAS_EXPORT const char* RasDouble_DialPassword() { return The().dialPassword.c_str(); }

RAS_EXPORT DWORD RasEnumEntriesA(const char*, const char*, RASENTRYNAMEA* entries, DWORD* bytes, DWORD* count) {
    if (DWORD error = Fail("RasEnumEntriesA")) return error;
    const DWORD needed = static_cast<DWORD>(The().entryOrder.size() * sizeof(RASENTRYNAMEA));
    if (!entries || entries->dwSize != sizeof(RASENTRYNAMEA)) return 632;  // ERROR_INVALID_SIZE
    if (*bytes < needed) {
        *bytes = needed;
        return kBufferTooSmall;
    }
    for (std::size_t i = 0; i < The().entryOrder.size(); ++i) {
        entries[i].dwSize = sizeof(RASENTRYNAMEA);
        Copy(entries[i].szEntryName, sizeof entries[i].szEntryName, The().entryOrder[i]);
    }
    *count = static_cast<DWORD>(The().entryOrder.size());
    return 0;
}

RAS_EXPORT DWORD RasEnumConnectionsA(RASCONNA* connections, DWORD* bytes, DWORD* count) {
    if (DWORD error = Fail("RasEnumConnectionsA")) return error;
    const DWORD needed = static_cast<DWORD>(The().connections.size() * sizeof(RASCONNA));
    if (!connections || connections->dwSize != sizeof(RASCONNA)) return 632;
    if (*bytes < needed) {
        *bytes = needed;
        return kBufferTooSmall;
    }
    for (std::size_t i = 0; i < The().connections.size(); ++i) {
        connections[i].dwSize = sizeof(RASCONNA);
        connections[i].hrasconn = The().connections[i].handle;
        Copy(connections[i].szEntryName, sizeof connections[i].szEntryName, The().connections[i].entry);
    }
    *count = static_cast<DWORD>(The().connections.size());
    return 0;
}

// NOLINTNEXTLINE(readability-non-const-parameter): the export keeps the signature callers look it up by.
RAS_EXPORT DWORD RasGetProjectionInfoA(HRASCONN connection, DWORD projection, void* info, DWORD* bytes) {
    if (DWORD error = Fail("RasGetProjectionInfoA")) return error;
    auto* ip = static_cast<RASPPPIPA*>(info);
    if (projection != kProjectionPppIp || *bytes != sizeof(RASPPPIPA) || ip->dwSize != sizeof(RASPPPIPA)) return 632;
    for (const Connection& c : The().connections) {
        if (c.handle == connection) Copy(ip->szIpAddress, sizeof ip->szIpAddress, c.ip);
    }
    return 0;
}

RAS_EXPORT DWORD RasGetEntryDialParamsA(const char*, RASDIALPARAMSA* params, BOOL* passwordStored) {
    if (DWORD error = Fail("RasGetEntryDialParamsA")) return error;
    if (params->dwSize != sizeof(RASDIALPARAMSA)) return 632;
    auto it = The().entries.find(params->szEntryName);
    if (it == The().entries.end()) return 623;  // ERROR_CANNOT_FIND_PHONEBOOK_ENTRY
    *passwordStored = it->second ? 1 : 0;
    Copy(params->szUserName, sizeof params->szUserName, "dialuser");
    Copy(params->szPassword, sizeof params->szPassword, it->second ? "stored-password" : "");
    return 0;
}

RAS_EXPORT DWORD RasSetEntryDialParamsA(const char*, RASDIALPARAMSA* params, BOOL removePassword) {
    if (DWORD error = Fail("RasSetEntryDialParamsA")) return error;
    The().setPassword = params->szPassword;
    The().setRemovePassword = removePassword;
    return 0;
}

RAS_EXPORT DWORD RasDialA(void*, const char*, RASDIALPARAMSA* params, DWORD notifierType, HWND notifier,
                          HRASCONN* connection) {
    if (DWORD error = Fail("RasDialA")) return error;
    if (notifierType != kNotifierWindow) return 87;  // ERROR_INVALID_PARAMETER
    The().dialPassword = params->szPassword;
    The().notifier = notifier;
    *connection = The().nextHandle++;
    const platform::UINT msg = platform::RegisterWindowMessage("RASDIALEVENT");
    DWORD last = 0;
    for (DWORD state : The().dialStates) {
        platform::PostMessage(notifier, msg, state, 0);
        last = state;
    }
    if (The().dialError) platform::PostMessage(notifier, msg, last, static_cast<platform::LPARAM>(The().dialError));
    if (The().dialConnects) {
        platform::PostMessage(notifier, msg, kConnected, 0);
        The().connections.push_back({params->szEntryName, *connection, "10.0.0.2"});
    }
    return 0;
}

RAS_EXPORT DWORD RasHangUpA(HRASCONN connection) {
    ++The().calls["RasHangUpA"];
    The().hangUps.push_back(connection);
    std::erase_if(The().connections, [&](const Connection& c) { return c.handle == connection; });
    return 0;
}

RAS_EXPORT DWORD RasGetErrorStringA(DWORD error, char* buffer, DWORD size) {
    ++The().calls["RasGetErrorStringA"];
    auto it = The().errorTexts.find(error);
    if (it == The().errorTexts.end()) return 87;
    Copy(buffer, size, it->second);
    return 0;
}
