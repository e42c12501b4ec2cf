// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <utility>

#include "ftp/client/tls_memory.h"

// dirweigh.ini as the window's memory of TLS servers: a server it logged on
// to over TLS is marked "SpokeTls=1" in the [TLS server] section of its one
// spelling with its way in (ServerKey), however it is typed next. A section
// named as the server was typed, as earlier versions wrote it, still counts.
class IniTlsMemory : public zn::TlsMemory {
public:
    explicit IniTlsMemory(std::string iniFile) : iniFile_(std::move(iniFile)) {}
    bool SpokeTls(const std::string& server, zn::UrlScheme scheme) const override;
    bool Remember(const std::string& server, zn::UrlScheme scheme, std::string& error) override;
    std::string HowToForget(const std::string& server, zn::UrlScheme scheme) const override;

private:
    std::string iniFile_;
};
