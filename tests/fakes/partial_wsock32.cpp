// A sockets library with only its start-up calls, for the binding's
// missing-entry-point path.
extern "C" __attribute__((visibility("default"))) int WSAStartup(unsigned short, void*) { return 0; }
extern "C" __attribute__((visibility("default"))) int WSACleanup() { return 0; }
