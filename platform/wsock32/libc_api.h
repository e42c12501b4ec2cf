// SPDX-License-Identifier: MIT
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace wsock {

// The C library's socket functions, looked up in the C library itself. The
// exports of this library carry the same names (recv, send, socket, ...); a
// plain call could bind to the export and call itself.
struct LibC {
    decltype(&::socket) socket;
    decltype(&::bind) bind;
    decltype(&::listen) listen;
    decltype(&::accept4) accept4;
    decltype(&::connect) connect;
    decltype(&::getsockname) getsockname;
    decltype(&::getsockopt) getsockopt;
    decltype(&::setsockopt) setsockopt;
    decltype(&::recv) recv;
    decltype(&::send) send;
    decltype(&::close) close;
    decltype(&::gethostname) gethostname;
    decltype(&::getaddrinfo) getaddrinfo;
    decltype(&::freeaddrinfo) freeaddrinfo;
    decltype(&::inet_pton) inet_pton;
    decltype(&::inet_ntop) inet_ntop;
};

const LibC& C();

}  // namespace wsock
