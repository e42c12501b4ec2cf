// SPDX-License-Identifier: MIT
// A sockets library with only its start-up calls, for the binding's
// missing-entry-point path. Their types are the real ones: a call through a
// pointer of another type is undefined.

#include "platform/wsock32/winsock.h"

extern "C" __attribute__((visibility("default"))) int WSAStartup(winsock::WORD, winsock::WSADATA*) { return 0; }
extern "C" __attribute__((visibility("default"))) int WSACleanup() { return 0; }
