// SPDX-License-Identifier: MIT
#include "platform/wsock32/libc_api.h"

#include <dlfcn.h>
#include <gnu/lib-names.h>

#include <cstdio>
#include <cstdlib>

namespace wsock {
namespace {

template <typename Fn>
void Resolve(void* libc, const char* name, Fn& target) {
    target = reinterpret_cast<Fn>(dlsym(libc, name));
    if (!target) {
        std::fprintf(stderr, "wsock32: the C library has no %s\n", name);
        std::abort();
    }
}

// The resolver is taken as the process sees it, so that one preloaded in
// front of the C library's (as the tests' is) answers the library's lookups
// too. The library is loaded locally, so the process never sees its own
// exports of these names; were it ever loaded globally, the C library's are
// taken instead, never the library's own.
template <typename Fn>
void ResolveAsTheProcessDoes(void* libc, const char* name, Fn& target) {
    void* found = dlsym(RTLD_DEFAULT, name);
    Dl_info foundIn{}, self{};
    const bool ours = found && dladdr(found, &foundIn) != 0 && dladdr(reinterpret_cast<void*>(&C), &self) != 0 &&
                      foundIn.dli_fbase == self.dli_fbase;
    if (found && !ours) {
        target = reinterpret_cast<Fn>(found);
        return;
    }
    Resolve(libc, name, target);
}

LibC Load() {
    void* libc = dlopen(LIBC_SO, RTLD_NOW | RTLD_NOLOAD);
    if (!libc) libc = dlopen(LIBC_SO, RTLD_NOW);
    LibC c{};
    Resolve(libc, "socket", c.socket);
    Resolve(libc, "bind", c.bind);
    Resolve(libc, "listen", c.listen);
    Resolve(libc, "accept4", c.accept4);
    Resolve(libc, "connect", c.connect);
    Resolve(libc, "getsockname", c.getsockname);
    Resolve(libc, "getsockopt", c.getsockopt);
    Resolve(libc, "setsockopt", c.setsockopt);
    Resolve(libc, "recv", c.recv);
    Resolve(libc, "send", c.send);
    Resolve(libc, "close", c.close);
    Resolve(libc, "gethostname", c.gethostname);
    ResolveAsTheProcessDoes(libc, "getaddrinfo", c.getaddrinfo);
    ResolveAsTheProcessDoes(libc, "freeaddrinfo", c.freeaddrinfo);
    Resolve(libc, "inet_pton", c.inet_pton);
    Resolve(libc, "inet_ntop", c.inet_ntop);
    return c;
}

}  // namespace

const LibC& C() {
    static const LibC kLibC = Load();
    return kLibC;
}

}  // namespace wsock
