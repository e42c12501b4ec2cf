// SPDX-License-Identifier: MIT
#include "dialup/ras.h"

#include "dialup/ras_error.h"
#include "net/core/errors.h"
#include "platform/message_box.h"

#include <algorithm>
#include <cstring>

namespace zn {
namespace {

std::string FieldText(const char* field, std::size_t capacity) { return std::string(field, strnlen(field, capacity)); }

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

void ErrorBox(const std::string& text) { platform::ShowMessageBox(text, "Error", platform::MessageBoxKind::Error); }

}  // namespace

TznRas::TznRas(platform::TComponent* owner) : platform::TComponent(owner) {
    DialEventMessage = platform::RegisterWindowMessage("RASDIALEVENT");
    NotifyWindow = platform::CreateHiddenWindow(
        [this](platform::UINT msg, platform::WPARAM w, platform::LPARAM l) { return HandleDialEvent(msg, w, l); });
    SetTimeOut(120);
    Library = platform::LoadLibrary("rasapi32.dll");
    GetEntries();
}

// The connection is left up: whoever owns it hangs it up.
TznRas::~TznRas() {
    if (Library) platform::FreeLibrary(Library);
    platform::DestroyWindow(NotifyWindow);
}

void TznRas::SetService(const std::string& value) {
    if (value.empty()) {
        Service_.clear();
        return;
    }
    if (!RasAvailable()) {
        ErrorBox("TznRas component was unable to detect\rRAS on your system.");
        return;
    }
    if (ConnectedFlag) {
        ErrorBox("This property can be set only before\restablishing the connection");
        return;
    }
    for (const std::string& entry : GetEntries()) {
        if (SameIgnoringCase(entry, value)) {
            Service_ = value;
            return;
        }
    }
    ErrorBox("Invalid service name");
    Service_.clear();
}

// Room for 25 entries first; when the library answers that it needs more,
// it has said how many bytes, and is asked again with that room. An entry
// made meanwhile may ask for more once more, so it is asked a few times.
const std::vector<std::string>& TznRas::GetEntries() {
    Entries.clear();
    auto enumerate = Entry<ras::RasEnumEntriesA_fn>("RasEnumEntriesA");
    if (!enumerate) return Entries;
    std::vector<ras::RASENTRYNAMEA> names(ras::kEntryCapacity);
    ras::DWORD count = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        names[0].dwSize = sizeof(ras::RASENTRYNAMEA);
        ras::DWORD bytes = static_cast<ras::DWORD>(names.size() * sizeof(ras::RASENTRYNAMEA));
        LastError_ = static_cast<std::int32_t>(enumerate(nullptr, nullptr, names.data(), &bytes, &count));
        if (LastError_ != static_cast<std::int32_t>(ras::kBufferTooSmall)) break;
        names.resize(std::max<std::size_t>(names.size() * 2, bytes / sizeof(ras::RASENTRYNAMEA)));
    }
    if (LastError_ != 0) return Entries;
    for (ras::DWORD i = 0; i < count && i < names.size(); ++i) {
        Entries.push_back(FieldText(names[i].szEntryName, sizeof names[i].szEntryName));
    }
    return Entries;
}

bool TznRas::FindConnection() {
    auto enumerate = Entry<ras::RasEnumConnectionsA_fn>("RasEnumConnectionsA");
    if (!enumerate) return false;
    std::vector<ras::RASCONNA> connections(ras::kConnectionCapacity);
    connections[0].dwSize = sizeof(ras::RASCONNA);
    ras::DWORD bytes = static_cast<ras::DWORD>(connections.size() * sizeof(ras::RASCONNA));
    ras::DWORD count = 0;
    LastError_ = static_cast<std::int32_t>(enumerate(connections.data(), &bytes, &count));
    if (LastError_ != 0) throw ERASError(LastError_);
    count = std::min<ras::DWORD>(count, ras::kConnectionCapacity);

    for (ras::DWORD i = 0; i < count; ++i) {
        const std::string name = FieldText(connections[i].szEntryName, sizeof connections[i].szEntryName);
        if (name == Service_ && connections[i].hrasconn != Connection) {
            Connection = connections[i].hrasconn;
            return true;
        }
    }
    if (ForceService) return false;
    auto projection = Entry<ras::RasGetProjectionInfoA_fn>("RasGetProjectionInfoA");
    if (!projection) return false;
    for (ras::DWORD i = 0; i < count; ++i) {
        ras::RASPPPIPA ip{};
        ip.dwSize = sizeof ip;
        ras::DWORD size = sizeof ip;
        LastError_ = static_cast<std::int32_t>(projection(connections[i].hrasconn, ras::kProjectionPppIp, &ip, &size));
        if (LastError_ != 0) throw ERASError(LastError_);
        if (!FieldText(ip.szIpAddress, sizeof ip.szIpAddress).empty()) {
            Connection = connections[i].hrasconn;
            return true;
        }
    }
    return false;
}

void TznRas::ResetDialState() {
    Connection = -1;
    ConnectedFlag = false;
    CancelFlag = false;
    TimeCounter.SetTimedOut(false);
}

void TznRas::Dial() {
    if (FindConnection() || Service_.empty()) {
        ConnectedFlag = true;
        DialledFlag = false;
        return;
    }
    auto getParams = Entry<ras::RasGetEntryDialParamsA_fn>("RasGetEntryDialParamsA");
    auto setParams = Entry<ras::RasSetEntryDialParamsA_fn>("RasSetEntryDialParamsA");
    auto dial = Entry<ras::RasDialA_fn>("RasDialA");
    if (!getParams || !setParams || !dial) return;

    DialledFlag = true;
    ResetDialState();
    ras::RASDIALPARAMSA params{};
    params.dwSize = sizeof params;
    std::strncpy(params.szEntryName, Service_.c_str(), sizeof params.szEntryName - 1);
    ras::BOOL passwordStored = 0;
    LastError_ = static_cast<std::int32_t>(getParams(nullptr, &params, &passwordStored));
    if (LastError_ != 0) throw ERASError(LastError_);
    if (!passwordStored) {
        std::strncpy(params.szPassword, Password.c_str(), sizeof params.szPassword - 1);
        LastError_ = static_cast<std::int32_t>(setParams(nullptr, &params, RemovePassword ? 1 : 0));
        if (LastError_ != 0) throw ERASError(LastError_);
    }
    LastError_ =
        static_cast<std::int32_t>(dial(nullptr, nullptr, &params, ras::kNotifierWindow, NotifyWindow, &Connection));
    if (LastError_ != 0) {
        const std::int32_t error = LastError_;
        HangUpConnection();
        throw ERASError(error);
    }

    // Progress arrives as notifications; the wait blocks in the event loop.
    TimeCounter.Start();
    try {
        platform::ProcessMessages();
        while (!ConnectedFlag && LastError_ == 0 && !CancelFlag && !TimeCounter.TimedOut()) {
            platform::WaitForNextEvent();
        }
    } catch (...) {
        TimeCounter.Stop();  // an exception from a handler must not leave the count running
        throw;
    }
    TimeCounter.Stop();
    if (LastError_ != 0) {
        const std::int32_t error = LastError_;
        HangUpConnection();
        throw ERASError(error);
    }
    if (CancelFlag) throw ECanceledError();
    if (TimeCounter.TimedOut()) throw ETimedOutError();
    if (MinimizeAtConnect) MinimizeDialog();
}

platform::LRESULT TznRas::HandleDialEvent(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
    if (msg != DialEventMessage) return platform::DefWindowProc(NotifyWindow, msg, wParam, lParam);
    const auto state = static_cast<ras::DWORD>(wParam);
    const auto error = static_cast<std::int32_t>(lParam);
    if (OnStatusChange) OnStatusChange(this, StatusText(state));
    if (!ConnectedFlag) ConnectedFlag = state == ras::kConnected;
    if (error != 0) {
        LastError_ = error;
        // Outside a Dial this reaches whoever processes messages, which may
        // be any wait of whatever runs over the link: the owner hears first.
        if (ConnectedFlag) {
            Fire(OnConnectionLost, this);
            throw ERASError(error);
        }
    }
    return 0;
}

void TznRas::HangUpConnection() {
    // The connection is forgotten even when the library cannot hang up.
    auto hangUp = Entry<ras::RasHangUpA_fn>("RasHangUpA");
    if (hangUp && RasAvailable() && DialledFlag) {
        hangUp(Connection);
        Fire(OnDisconnected, this);
    }
    ConnectedFlag = false;
    Connection = -1;
}

void TznRas::HangUp() {
    HangUpConnection();
    CancelFlag = true;
}

// This platform's library has no string table of its own, so the built-in
// English texts always apply.
std::string TznRas::StatusText(ras::DWORD state) {
    switch (state & 0xFFFF) {
        case 0: return "Initializing...";
        case 2:
        case 3:
        case 4: return "Dialing...";
        case 5:
        case 19: return "Verifying user name and password";
        case 14: return "User name and password verified";
        case 21: return "Logging on to Network";
        case 8192: return "Successfully connected";
        default: return {};
    }
}

}  // namespace zn
