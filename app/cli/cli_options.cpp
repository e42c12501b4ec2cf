// SPDX-License-Identifier: MIT
#include "app/cli/cli_options.h"

#include "app/cli/cli_option_rules.h"
#include "app/cli/cli_option_table.h"
#include "ftp/client/ftp.h"
#include "net/core/server_key.h"
#include "net/core/text_helpers.h"
#include "platform/str_to_int.h"

#include <arpa/inet.h>

#include <utility>

namespace cli {
namespace {

bool IsIpv6Address(const std::string& text) {
    in6_addr address{};
    return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

// "host[:port]": an IPv6 host in brackets, "[::1]:2121", or bare, "::1",
// which is kept bracketed so that it reads back the same in a URL.
std::string ReadHostAndPort(const std::string& rest, const std::string& argument, Options& options) {
    if (IsIpv6Address(rest)) {
        options.host = "[" + rest + "]";
        return {};
    }
    std::size_t hostEnd = rest.find(':');
    if (!rest.empty() && rest[0] == '[') {
        hostEnd = rest.find(']');
        if (hostEnd == std::string::npos || !IsIpv6Address(rest.substr(1, hostEnd - 1))) {
            return "no IPv6 address in the brackets of " + argument;
        }
        if (++hostEnd < rest.size() && rest[hostEnd] != ':') return "bad port in " + argument;
    }
    const std::string host = rest.substr(0, hostEnd);
    if (host.empty() || host.find('/') != std::string::npos) return "no server host in " + argument;
    if (hostEnd < rest.size()) {
        auto port = platform::StrToInt32(rest.substr(hostEnd + 1));
        if (!port || *port < 1 || *port > 65535) return "bad port in " + argument;
    }
    options.host = rest;
    return {};
}

// What follows an URL's scheme, "[USER@]HOST[:PORT][/START/DIR]": the
// user and the start directory go into `options`, and `rest` keeps
// HOST[:PORT].
std::string ReadUrl(const std::string& argument, std::string& rest, Options& options) {
    const std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    if (slash != std::string::npos && slash + 1 < rest.size()) {
        auto path = zn::PercentDecode(rest.substr(slash + 1));
        if (!path) return "bad %-escape in the start directory of " + argument;
        options.dir = *path;
    }
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        auto user = zn::PercentDecode(authority.substr(0, at));
        if (!user || user->empty()) return "bad user name in " + argument;
        if (user->find(':') != std::string::npos) return "give no password in the URL; see --password-file";
        options.user = *user;
        authority = authority.substr(at + 1);
    }
    rest = authority;
    return {};
}

// ftp://[USER@]HOST[:PORT][/START/DIR] or HOST[:PORT]; ftps:// as well,
// which `ftps` tells, and sftp://, which options.sftp tells.
std::string ReadServer(const std::string& argument, Options& options, bool& ftps) {
    std::string rest = argument;
    ftps = rest.rfind("ftps://", 0) == 0;
    options.sftp = rest.rfind("sftp://", 0) == 0;
    if (ftps || options.sftp || rest.rfind("ftp://", 0) == 0) {
        rest = rest.substr(ftps || options.sftp ? 7 : 6);
        if (std::string error = ReadUrl(argument, rest, options); !error.empty()) return error;
    } else if (rest.find("://") != std::string::npos) {
        return "only ftp://, ftps:// and sftp:// URLs are understood: " + argument;
    }
    return ReadHostAndPort(rest, argument, options);
}

}  // namespace

zn::UrlScheme SchemeOf(const Options& options) {
    if (options.sftp) return zn::UrlScheme::Sftp;
    return options.tls == TlsChoice::Implicit ? zn::UrlScheme::Ftps : zn::UrlScheme::Ftp;
}

namespace {

// The argument at args[i], moving i past an option's value.
std::string ReadArgument(const std::vector<std::string>& args, std::size_t& i, Reading& reading) {
    const std::string& arg = args[i];
    if (reading.optionsEnded || arg.empty() || arg[0] != '-') {
        if (reading.server) return "one server only: " + arg;
        reading.server = arg;
        return {};
    }
    const OptionRow* row = FindOption(arg);
    if (!row) return "unknown option " + arg;
    // An option's value is the next argument whatever it looks like:
    // --dir -x enters the directory -x.
    OptionValue value;
    if (row->argument && i + 1 < args.size()) value = args[++i];
    return row->read(reading, arg, value);
}

// A URL names the user and the start directory too; each once.
std::string TakeUserAndDir(const Reading& reading, Options& options) {
    if (reading.user) {
        if (!options.user.empty()) return "the user is given twice (URL and --user)";
        options.user = *reading.user;
    }
    if (reading.dir) {
        if (!options.dir.empty()) return "the directory is given twice (URL and --dir)";
        options.dir = *reading.dir;
    }
    return {};
}

// An ftps:// URL is implicit TLS, which has a port of its own: 990 unless
// another is given. The port is written out, so that the server is
// remembered apart from the same host's FTP on 21.
std::string TakeImplicitTls(Reading& reading, bool ftps) {
    Options& options = reading.options;
    if (ftps) {
        if (reading.tlsGiven && options.tls != TlsChoice::Implicit)
            return "an ftps:// URL is implicit TLS: give --tls with an ftp:// URL or a host";
        options.tls = TlsChoice::Implicit;
    }
    if (options.tls == TlsChoice::Implicit && zn::ServerPort(options.host) == 0) {
        options.host += ":" + std::to_string(zn::TznFTP::kImplicitTlsPort);
    }
    return {};
}

Parsed Refused(std::string error) { return {std::nullopt, std::move(error)}; }

// The server and what the options say together, once every argument is in.
Parsed Settle(Reading& reading) {
    Options& options = reading.options;
    if (const char* error = BrokenRule(RuleStage::Always, reading)) return Refused(error);
    if (!reading.server && options.dial.listEntries) return {options, {}};
    if (const char* error = BrokenRule(RuleStage::Reports, reading)) return Refused(error);
    if (!options.breakdown.fromFile.empty()) return {options, {}};
    if (!reading.server) return Refused("no server given");
    bool ftps = false;
    if (std::string error = ReadServer(*reading.server, options, ftps); !error.empty()) return Refused(error);
    if (std::string error = TakeImplicitTls(reading, ftps); !error.empty()) return Refused(error);
    if (std::string error = TakeUserAndDir(reading, options); !error.empty()) return Refused(error);
    if (const char* error = BrokenRule(RuleStage::Walk, reading)) return Refused(error);
    if (!reading.defaultExcludes) options.excludes.clear();
    options.excludes.insert(reading.excludes.begin(), reading.excludes.end());
    return {options, {}};
}

}  // namespace

Parsed ParseCommandLine(const std::vector<std::string>& args) {
    Reading reading;
    for (std::size_t i = 0; i < args.size() && !reading.done; ++i) {
        if (std::string error = ReadArgument(args, i, reading); !error.empty()) return Refused(error);
    }
    if (reading.done) return {reading.options, {}};
    return Settle(reading);
}

}  // namespace cli
