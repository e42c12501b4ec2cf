// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

namespace zn {

class TznFTP;

// Where a fast walk gets further connections while it runs: it asks for one
// more when one pays, and takes each once its logon is done. Neither call
// waits for a server, so a connection that logs on never holds up those
// that list.
class FurtherConnections {
public:
    virtual ~FurtherConnections() = default;
    // Starts one more connection's logon, unless no more may be opened (as
    // many as allowed, or the server refused one).
    virtual void OpenOne() = 0;
    // The connections whose logon has completed since the last call.
    virtual std::vector<TznFTP*> TakeLoggedOn() = 0;
    // Logons under way.
    virtual int Opening() const = 0;
};

}  // namespace zn
