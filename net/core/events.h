// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {
class TComponent;
}

// Event signatures of the components. An event is a std::function; one that
// is not assigned is skipped. The firing component is always the Sender.
namespace zn {

struct TlsCertificate;

using TObject = platform::TComponent;

using TNotifyEvent = std::function<void(TObject* Sender)>;
// The message of a failure about to be raised; the handler may replace it.
using TqmErrorEvent = std::function<void(TObject* Sender, std::string& Msg)>;
// Perc: percentage of the expected total, -1 when none is known.
using TqmProgressEvent = std::function<void(TObject* Sender, std::int32_t Perc, std::int32_t Transferred)>;
// One protocol line as sent or received, without its line end.
using TqmLineTransmitEvent = std::function<void(TObject* Sender, const std::string& TheLine)>;

// A server certificate that neither the trust store nor a pinned
// fingerprint vouches for; a handler that sets Trust accepts it for this
// connection.
using TqmCertificateEvent = std::function<void(TObject* Sender, const TlsCertificate& Certificate, bool& Trust)>;

template <typename Event, typename... Args>
void Fire(const Event& event, Args&&... args) {
    if (event) event(std::forward<Args>(args)...);
}

}  // namespace zn
