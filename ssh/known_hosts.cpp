// SPDX-License-Identifier: MIT
#include "ssh/known_hosts.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace zn {
namespace {

using KnownHosts = std::unique_ptr<LIBSSH2_KNOWNHOSTS, decltype(&libssh2_knownhost_free)>;

KnownHosts Read(LIBSSH2_SESSION* session, const std::string& file) {
    KnownHosts hosts(libssh2_knownhost_init(session), &libssh2_knownhost_free);
    // A missing file knows nothing; one line libssh2 cannot read (a key
    // type it lacks) makes it stop, and what it read before still counts.
    if (hosts && std::filesystem::exists(file)) {
        libssh2_knownhost_readfile(hosts.get(), file.c_str(), LIBSSH2_KNOWNHOST_FILE_OPENSSH);
    }
    return hosts;
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
    const KnownHosts hosts = Read(session, file);
    const std::string name = HostName(host, port);
    const std::string comment = "added by dirweigh";
    if (!hosts ||
        libssh2_knownhost_addc(
            hosts.get(), name.c_str(), nullptr, key.Blob.data(), key.Blob.size(), comment.c_str(), comment.size(),
            LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | key.KnownHostType, nullptr) != 0) {
        error = "the key cannot be kept";
        return false;
    }
    // The file says whom the user trusts: no one else may change it.
    const mode_t before = umask(077);
    const int rc = libssh2_knownhost_writefile(hosts.get(), file.c_str(), LIBSSH2_KNOWNHOST_FILE_OPENSSH);
    umask(before);
    if (rc != 0) error = "cannot write " + file;
    return rc == 0;
}

}  // namespace zn
