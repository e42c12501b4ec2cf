#pragma once

#include "platform/component.h"

namespace zn {

// The dial-up component as a socket sees it: Dial before a connection is
// opened, HangUp after it is closed. This build finds no dial-up service on
// the machine, so Dial has nothing to dial and HangUp nothing to hang up.
class TznRas : public platform::TComponent {
public:
    explicit TznRas(platform::TComponent* owner);

    // Returns when a dial-up connection is up or there is nothing to dial.
    void Dial();
    // Hangs up what this component dialled and makes a waiting Dial end as
    // cancelled. Raises nothing.
    void HangUp();

    bool CancelRequested() const { return cancel_; }

private:
    bool cancel_ = false;
};

}  // namespace zn
