// SPDX-License-Identifier: MIT
#include "app/ini_tls_memory.h"

#include "app/settings_location.h"
#include "platform/profile.h"

bool IniTlsMemory::SpokeTls(const std::string& server, zn::UrlScheme scheme) const {
    return platform::ReadProfileInteger(iniFile_, "TLS " + zn::ServerKey(server, scheme), "SpokeTls", 0) == 1 ||
           platform::ReadProfileInteger(iniFile_, "TLS " + server, "SpokeTls", 0) == 1;
}

// The ini is written as the settings are, with no failure to tell.
bool IniTlsMemory::Remember(const std::string& server, zn::UrlScheme scheme, std::string& /*error*/) {
    if (SpokeTls(server, scheme)) return true;
    CreateSettingsFolder(iniFile_);
    platform::WriteProfileString(iniFile_, "TLS " + zn::ServerKey(server, scheme), "SpokeTls", "1");
    return true;
}

std::string IniTlsMemory::HowToForget(const std::string& server, zn::UrlScheme scheme) const {
    return "set TLS=off in dirweigh.ini, or remove SpokeTls=1 from its [TLS " + zn::ServerKey(server, scheme) +
           "] section";
}
