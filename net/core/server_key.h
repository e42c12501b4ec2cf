// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace zn {

// A server as typed, "host[:port]", read as a socket reads it. An IPv6
// address is written in brackets, "[::1]:2121", or bare, "::1": a bare one
// has colons of its own, so it is all host and takes the default port.

// The host: everything before the first colon; an IPv6 address without
// its brackets.
std::string ServerHost(const std::string& server);
// The port after the colon (decimal, or "$" and hexadecimal); 0 for none
// or for what is no number.
std::int32_t ServerPort(const std::string& server);

// The server as a URL writes it: a bare IPv6 address in brackets
// ("::1" is "[::1]"), anything else as typed.
std::string ServerInUrl(const std::string& server);

// The one spelling of a server as a socket reaches it: a dotted address
// for any spelling of one ("127.1", "2130706433", "0x7f.0.0.1"), an IPv6
// address in its short form and in brackets ("[0:0::1]", "::1": "[::1]"),
// else the name in lower case without a final dot; the port as the number
// it is read as ("0990", "+990", "$3DE": 990), left out when it is
// `defaultPort`. What is remembered of a server is kept under it, so that
// another spelling of the same server finds it.
std::string ServerKey(const std::string& server, std::uint16_t defaultPort = 21);

// The ways in to a server, each with its default port: FTP (21, TLS or
// not as AUTH TLS decides), FTP in implicit TLS (990) and SFTP (22).
enum class UrlScheme : std::uint8_t { Ftp, Ftps, Sftp };
const char* SchemeName(UrlScheme scheme);  // "ftp", "ftps", "sftp"
std::uint16_t DefaultPort(UrlScheme scheme);

// What is remembered of a server reached by `scheme` is kept under this:
// ServerKey with the scheme's default port, after "ftps://" or "sftp://"
// ("sftp://example.org", "ftps://[::1]:2990"), so that one host's three
// servers stay apart. Plain FTP's is ServerKey alone, as it was before the
// other two came, so that what was kept of FTP servers is still found.
std::string ServerKey(const std::string& server, UrlScheme scheme);

}  // namespace zn
