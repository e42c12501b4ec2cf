// SPDX-License-Identifier: MIT
#include "ftp/client/connection_profile.h"

#include <algorithm>

namespace zn {

ConnectionProfile ProfileOf(const TznFTP& ftp) {
    ConnectionProfile profile;
    profile.Server = ftp.Server();
    profile.UserName = ftp.UserName();
    profile.Password = ftp.Password();
    profile.TimeOutSeconds = ftp.TimeOut();
    profile.Passive = ftp.Passive();
    profile.PassiveFallback = ftp.PassiveFallback();
    profile.ConnectBackAdvice = ftp.ConnectBackAdvice();
    profile.UseProxy = ftp.UseProxy();
    profile.Proxy = ftp.Proxy();
    profile.ProxyType = ftp.ProxyType();
    profile.TlsMode = ftp.TlsMode();
    profile.TrustedFingerprint = ftp.TrustedFingerprint();
    profile.RequiredFingerprint = ftp.RequiredFingerprint();
    profile.TlsRemembered = ftp.TlsRemembered();
    profile.TlsAcceptAdvice = ftp.TlsAcceptAdvice();
    return profile;
}

void ApplyProfile(const ConnectionProfile& profile, TznFTP& ftp) {
    ftp.SetServer(profile.Server);
    ftp.SetUserName(profile.UserName);
    ftp.SetPassword(profile.Password);
    ftp.SetTimeOut(profile.TimeOutSeconds);
    ftp.SetPassive(profile.Passive);
    ftp.SetPassiveFallback(profile.PassiveFallback);
    ftp.SetConnectBackAdvice(profile.ConnectBackAdvice);
    ftp.SetUseProxy(profile.UseProxy);
    // Only a proxy in use must have a port.
    if (profile.UseProxy) ftp.SetProxy(profile.Proxy);
    ftp.SetProxyType(profile.ProxyType);
    ftp.SetTlsMode(profile.TlsMode);
    ftp.SetTrustedFingerprint(profile.TrustedFingerprint);
    ftp.SetRequiredFingerprint(profile.RequiredFingerprint);
    ftp.SetTlsRemembered(profile.TlsRemembered, profile.TlsAcceptAdvice);
}

ConnectionProfile FurtherConnectionProfile(const TznFTP& first, std::int32_t mostSeconds) {
    ConnectionProfile profile;
    profile.Server = first.Server();
    profile.UserName = first.UserName();
    profile.Password = first.Password();
    profile.TimeOutSeconds = std::min(first.TimeOut(), mostSeconds);
    profile.Passive = first.Passive();
    profile.PassiveFallback = first.PassiveFallback();
    profile.UseProxy = first.UseProxy();
    profile.Proxy = first.Proxy();
    profile.ProxyType = first.ProxyType();
    // As secure as the first connection, or not at all: once the first is
    // in TLS, a further one that cannot be (a server that offers AUTH TLS
    // on the first connection only) fails before its password and the walk
    // goes on without it; it must also show the certificate the first one
    // accepted. Without TLS on the first, there is nothing to keep. An
    // implicit TLS server speaks nothing else on its port.
    if (first.TlsActive()) {
        profile.TlsMode = first.TlsMode() == tmImplicit ? tmImplicit : tmRequire;
        profile.TrustedFingerprint = first.TrustedFingerprint();
        profile.RequiredFingerprint = first.ServerFingerprint();
    }
    return profile;
}

}  // namespace zn
