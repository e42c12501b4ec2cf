// SPDX-License-Identifier: MIT
#include "ssh/known_hosts.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>

#include <filesystem>
#include <fstream>
#include <memory>

namespace zn {
namespace {

using KnownHosts = std::unique_ptr<LIBSSH2_KNOWNHOSTS, decltype(&libssh2_knownhost_free)>;

KnownHosts Read(LIBSSH2_SESSION* session, const std::string& file) {
    KnownHosts hosts(libssh2_knownhost_init(session), &libssh2_knownhost_free);
    // A missing file knows nothing. Line by line, because libssh2's own
    // reader stops at the first line it cannot read (a key type it lacks,
    // a damaged line), and every key after it would go unknown.
    std::ifstream in(file);
    for (std::string line; hosts && std::getline(in, line);) {
        libssh2_knownhost_readline(hosts.get(), line.c_str(), line.size(), LIBSSH2_KNOWNHOST_FILE_OPENSSH);
    }
    return hosts;
}

// Appends `line` to `file`, made readable by its owner only (it says whom
// the user trusts), on a line of its own.
bool AppendLine(const std::string& file, std::string line) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    char last = '\n';
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n') line.insert(0, 1, '\n');
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    return ::close(fd) == 0 && written;
}

int Check(LIBSSH2_KNOWNHOSTS* hosts, const std::string& host, std::uint16_t port, const SshHostKey& key) {
    libssh2_knownhost* found = nullptr;
    return libssh2_knownhost_checkp(hosts, host.c_str(), port, key.Blob.data(), key.Blob.size(),
                                    LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | key.KnownHostType,
                                    &found);
}

// How ssh names a server on another port than 22.
std::string HostName(const std::string& host, std::uint16_t port) {
    return port == 22 ? host : "[" + host + "]:" + std::to_string(port);
}

}  // namespace

HostKeyCheck CheckHostKey(LIBSSH2_SESSION* session, const std::vector<std::string>& files, const std::string& host,
                          std::uint16_t port, const SshHostKey& key) {
    HostKeyCheck check;
    for (const std::string& file : files) {
        if (file.empty()) continue;
        const KnownHosts hosts = Read(session, file);
        if (!hosts) continue;
        const int verdict = Check(hosts.get(), host, port, key);
        if (verdict == LIBSSH2_KNOWNHOST_CHECK_MATCH) return {HostKeyVerdict::Known, {}};
        if (verdict == LIBSSH2_KNOWNHOST_CHECK_MISMATCH && check.Verdict == HostKeyVerdict::Unknown) {
            check = {HostKeyVerdict::Changed, file};
        }
    }
    return check;
}

std::vector<std::string> KnownKeyAlgorithms(LIBSSH2_SESSION* session, const std::vector<std::string>& files,
                                            const std::string& host, std::uint16_t port) {
    struct Type {
        int bits;
        std::vector<std::string> algorithms;
    };
    const Type types[] = {
        {LIBSSH2_KNOWNHOST_KEY_ED25519, {"ssh-ed25519"}},
        {LIBSSH2_KNOWNHOST_KEY_ECDSA_256, {"ecdsa-sha2-nistp256"}},
        {LIBSSH2_KNOWNHOST_KEY_ECDSA_384, {"ecdsa-sha2-nistp384"}},
        {LIBSSH2_KNOWNHOST_KEY_ECDSA_521, {"ecdsa-sha2-nistp521"}},
        {LIBSSH2_KNOWNHOST_KEY_SSHRSA, {"rsa-sha2-512", "rsa-sha2-256", "ssh-rsa"}},
    };
    std::vector<std::string> known;
    for (const std::string& file : files) {
        if (file.empty()) continue;
        const KnownHosts hosts = Read(session, file);
        if (!hosts) continue;
        for (const Type& type : types) {
            // No real key is this one byte: a file that holds a key of the
            // type for the server says it differs, one that holds none says
            // it knows nothing.
            const SshHostKey probe{{}, std::string(1, '\0'), type.bits, {}};
            if (Check(hosts.get(), host, port, probe) != LIBSSH2_KNOWNHOST_CHECK_MISMATCH) continue;
            for (const std::string& algorithm : type.algorithms) {
                if (std::find(known.begin(), known.end(), algorithm) == known.end()) known.push_back(algorithm);
            }
        }
    }
    return known;
}

bool AddHostKey(LIBSSH2_SESSION* session, const std::string& file, const std::string& host, std::uint16_t port,
                const SshHostKey& key, std::string& error) {
    std::error_code failed;
    const std::filesystem::path path(file);
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), failed);
    // The one new line is appended: rewriting the file from what libssh2
    // read would drop every line after one it cannot read.
    const KnownHosts hosts(libssh2_knownhost_init(session), &libssh2_knownhost_free);
    const std::string name = HostName(host, port);
    const std::string comment = "added by dirweigh";
    libssh2_knownhost* added = nullptr;
    std::string line(8192, '\0');
    std::size_t length = 0;
    if (!hosts ||
        libssh2_knownhost_addc(
            hosts.get(), name.c_str(), nullptr, key.Blob.data(), key.Blob.size(), comment.c_str(), comment.size(),
            LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | key.KnownHostType, &added) != 0 ||
        libssh2_knownhost_writeline(hosts.get(), added, line.data(), line.size(), &length,
                                    LIBSSH2_KNOWNHOST_FILE_OPENSSH) != 0) {
        error = "the key cannot be kept";
        return false;
    }
    line.resize(length);
    if (line.empty() || line.back() != '\n') line += '\n';
    if (!AppendLine(file, line)) {
        error = "cannot write " + file;
        return false;
    }
    return true;
}

}  // namespace zn
