// SPDX-License-Identifier: MIT
#include "net/core/server_key.h"

#include "platform/str_to_int.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace zn {
namespace {

// Where the host ends and where its port begins (npos for no port).
struct ServerParts {
    std::string host;
    std::size_t portAt = std::string::npos;
};

ServerParts SplitServer(const std::string& server) {
    if (!server.empty() && server[0] == '[') {
        const std::size_t close = server.find(']');
        if (close == std::string::npos) return {server.substr(1)};
        const bool port = close + 1 < server.size() && server[close + 1] == ':';
        return {server.substr(1, close - 1), port ? close + 2 : std::string::npos};
    }
    if (std::count(server.begin(), server.end(), ':') > 1) return {server};
    const std::size_t colon = server.find(':');
    return {server.substr(0, colon), colon == std::string::npos ? colon : colon + 1};
}

}  // namespace

std::string ServerHost(const std::string& server) { return SplitServer(server).host; }

std::int32_t ServerPort(const std::string& server) {
    const std::size_t portAt = SplitServer(server).portAt;
    if (portAt == std::string::npos) return 0;
    return platform::StrToIntDef(std::string_view(server).substr(portAt), 0);
}

std::string ServerInUrl(const std::string& server) {
    const bool bareIpv6 = !server.empty() && server[0] != '[' && SplitServer(server).host == server &&
                          server.find(':') != std::string::npos;
    return bareIpv6 ? "[" + server + "]" : server;
}

std::string ServerKey(const std::string& server, std::uint16_t defaultPort) {
    std::string host = ServerHost(server);
    // The sockets library reads an address with inet_aton's rules: each of
    // its forms is one address.
    if (in_addr address{}; inet_aton(host.c_str(), &address) != 0) {
        host = inet_ntoa(address);
    } else if (in6_addr address6{}; inet_pton(AF_INET6, host.c_str(), &address6) == 1) {
        char text[INET6_ADDRSTRLEN];
        host = inet_ntop(AF_INET6, &address6, text, sizeof text);
    } else {
        for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (host.size() > 1 && host.back() == '.') host.pop_back();
    }
    // A host with colons of its own is bracketed, so its port stays apart.
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    const auto port = static_cast<std::uint16_t>(ServerPort(server) & 0xFFFF);
    return port == 0 || port == defaultPort ? host : host + ":" + std::to_string(port);
}

const char* SchemeName(UrlScheme scheme) {
    switch (scheme) {
        case UrlScheme::Ftps: return "ftps";
        case UrlScheme::Sftp: return "sftp";
        case UrlScheme::Ftp: break;
    }
    return "ftp";
}

std::uint16_t DefaultPort(UrlScheme scheme) {
    switch (scheme) {
        case UrlScheme::Ftps: return 990;
        case UrlScheme::Sftp: return 22;
        case UrlScheme::Ftp: break;
    }
    return 21;
}

std::string ServerKey(const std::string& server, UrlScheme scheme) {
    const std::string key = ServerKey(server, DefaultPort(scheme));
    return scheme == UrlScheme::Ftp ? key : SchemeName(scheme) + std::string("://") + key;
}

}  // namespace zn
