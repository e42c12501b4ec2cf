// SPDX-License-Identifier: MIT
#include "platform/wsock32/engine.h"

#include <cerrno>

namespace wsock {
namespace {

// One thread uses the library; the last error is the library's, as on the
// platform it stands in for.
int lastError = 0;

}  // namespace

void SetLastError(int code) { lastError = code; }
int LastError() { return lastError; }

int TranslateErrno(int error) {
    switch (error) {
        case EAGAIN: return 10035;
        case EINPROGRESS: return 10036;
        case EALREADY: return 10037;
        case ENOTSOCK:
        case EBADF: return 10038;
        case EDESTADDRREQ: return 10039;
        case EMSGSIZE: return 10040;
        case EPROTOTYPE: return 10041;
        case ENOPROTOOPT: return 10042;
        case EPROTONOSUPPORT: return 10043;
        case ESOCKTNOSUPPORT: return 10044;
        case EOPNOTSUPP: return 10045;
        case EPFNOSUPPORT: return 10046;
        case EAFNOSUPPORT: return 10047;
        case EADDRINUSE: return 10048;
        case EADDRNOTAVAIL: return 10049;
        case ENETDOWN: return 10050;
        case ENETUNREACH: return 10051;
        case ENETRESET: return 10052;
        case ECONNABORTED: return 10053;
        case ECONNRESET:
        case EPIPE: return 10054;
        case ENOBUFS:
        case ENOMEM: return 10055;
        case EISCONN: return 10056;
        case ENOTCONN: return 10057;
        case ESHUTDOWN: return 10058;
        case ETIMEDOUT: return 10060;
        case ECONNREFUSED: return 10061;
        case ELOOP: return 10062;
        case ENAMETOOLONG: return 10063;
        case EHOSTDOWN: return 10064;
        case EHOSTUNREACH: return 10065;
        case EINTR: return 10004;
        case EACCES: return 10013;
        case EFAULT: return 10014;
        case EMFILE:
        case ENFILE: return 10024;
        default: return 10022;
    }
}

bool EndsConnection(int error) {
    switch (error) {
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE:
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case ENETRESET: return true;
        default: return false;
    }
}

int FailFromErrno() {
    SetLastError(TranslateErrno(errno));
    return SOCKET_ERROR;
}

}  // namespace wsock
