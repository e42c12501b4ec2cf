// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/core/events.h"
#include "net/core/time_counter.h"
#include "platform/component.h"
#include "platform/messages.h"
#include "platform/modules.h"
#include "platform/rasapi32/ras_api.h"

namespace zn {

// Progress of a dial: the state text of the connection.
using TRASNotifyEvent = std::function<void(TObject* Sender, const std::string& RASStatusStr)>;

// Makes sure a dial-up connection is up before a socket connects, and hangs
// up what it dialled afterwards. It finds a connection that is already up or
// dials the phonebook entry `Service`, waits in the event loop while the
// connection comes up, and gives up after `TimeOut` seconds or on `HangUp`.
// Without the dial-up library it dials nothing and raises nothing.
class TznRas : public platform::TComponent {
public:
    explicit TznRas(platform::TComponent* owner);
    ~TznRas() override;

    const std::string& Service() const { return Service_; }
    // Never raises: a refused value is explained in a message box.
    void SetService(const std::string& value);
    std::int32_t TimeOut() const { return TimeCounter.TimeOut(); }
    void SetTimeOut(std::int32_t value) { TimeCounter.SetTimeOut(value); }

    bool ForceService = true;
    bool MinimizeAtConnect = false;
    std::string Password;
    bool RemovePassword = true;
    TRASNotifyEvent OnStatusChange;
    TNotifyEvent OnDisconnected;
    // The connection this component dialled went down while it was up;
    // LastError tells why. Fired before the error is raised to whoever is
    // processing messages, so that the owner can end what runs over the link.
    TNotifyEvent OnConnectionLost;

    // Returns when a connection is up or there is nothing to dial; raises
    // ERASError, ECanceledError or ETimedOutError otherwise.
    void Dial();
    // Hangs up what this component dialled and makes a waiting Dial end as
    // cancelled. Raises nothing of its own.
    void HangUp();
    void HangUpConnection();
    bool FindConnection();
    const std::vector<std::string>& GetEntries();
    bool RasAvailable() const { return !Entries.empty(); }
    // False without the dial-up library: then nothing is ever dialled.
    bool LibraryLoaded() const { return Library != 0; }
    void ResetDialState();
    static std::string StatusText(ras::DWORD state);
    // This platform has no dial-up dialog windows to minimise.
    void MinimizeDialog() {}

    bool Connected() const { return ConnectedFlag; }
    bool Dialled() const { return DialledFlag; }
    ras::HRASCONN ConnectionHandle() const { return Connection; }
    std::int32_t LastError() const { return LastError_; }

private:
    platform::LRESULT HandleDialEvent(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam);
    template <typename Fn>
    Fn Entry(const char* name) const {
        return Library ? reinterpret_cast<Fn>(platform::GetProcAddress(Library, name)) : nullptr;
    }

    std::vector<std::string> Entries;
    std::string Service_;
    ras::HRASCONN Connection = -1;
    platform::UINT DialEventMessage = 0;
    platform::HWND NotifyWindow = 0;
    bool DialledFlag = false;
    platform::HMODULE Library = 0;
    std::int32_t LastError_ = 0;
    TTimeCounter TimeCounter;
    bool CancelFlag = false;
    bool ConnectedFlag = false;
};

}  // namespace zn
