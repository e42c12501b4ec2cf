// SPDX-License-Identifier: MIT
#include "net/core/server_key.h"

#include "platform/str_to_int.h"

#include <arpa/inet.h>

#include <cctype>
#include <string_view>

namespace zn {

std::string ServerHost(const std::string& server) { return server.substr(0, server.find(':')); }

std::int32_t ServerPort(const std::string& server) {
    const std::size_t colon = server.find(':');
    if (colon == std::string::npos) return 0;
    return platform::StrToIntDef(std::string_view(server).substr(colon + 1), 0);
}

std::string ServerKey(const std::string& server, std::uint16_t defaultPort) {
    std::string host = ServerHost(server);
    // The sockets library reads an address with inet_aton's rules: each of
    // its forms is one address.
    if (in_addr address{}; inet_aton(host.c_str(), &address) != 0) {
        host = inet_ntoa(address);
    } else {
        for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (host.size() > 1 && host.back() == '.') host.pop_back();
    }
    const auto port = static_cast<std::uint16_t>(ServerPort(server) & 0xFFFF);
    return port == 0 || port == defaultPort ? host : host + ":" + std::to_string(port);
}

}  // namespace zn
