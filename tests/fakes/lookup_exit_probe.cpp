// SPDX-License-Identifier: MIT
// Connects to a host whose lookup the preloaded test resolver holds for
// seconds, cancels after a moment and returns from main at once. Exit code 0
// when the cancel was reported as such.

#include "net/core/errors.h"
#include "net/socket.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

class ProbeSocket : public zn::TznSocket {
public:
    using zn::TznSocket::TznSocket;
    using zn::TznSocket::ResetState;
    using zn::TznSocket::SetServer;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ProbeSocket socket(nullptr);
    socket.SetWinsockLoaded(true);
    socket.SetServer(argc > 1 ? argv[1] : "6000.slow.test:21");
    socket.ResetState();
    QTimer::singleShot(100, [&] { socket.Cancel(); });
    try {
        socket.Open();
    } catch (const zn::ECanceledError&) {
        return 0;
    } catch (...) {
    }
    return 1;
}
