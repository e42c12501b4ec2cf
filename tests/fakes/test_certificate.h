// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A self-signed certificate for 127.0.0.1 (or the subject alternative name
// given, as "DNS:ftp.example.org") and its RSA key, made for one test
// in a temporary directory that the destructor removes. It may serve as its
// own trust anchor (SSL_CERT_FILE), so that the same certificate is
// "verified" in one test and "untrusted" in another.
class TestCertificate {
public:
    explicit TestCertificate(const std::string& altName = "IP:127.0.0.1");
    ~TestCertificate();
    TestCertificate(const TestCertificate&) = delete;
    TestCertificate& operator=(const TestCertificate&) = delete;

    bool Made() const { return !fingerprint_.empty(); }
    std::string CertFile() const { return (dir_ / "cert.pem").string(); }
    std::string KeyFile() const { return (dir_ / "key.pem").string(); }
    std::string KeyAndCertFile() const { return (dir_ / "both.pem").string(); }
    // "SHA256:AB:CD:..."
    const std::string& Fingerprint() const { return fingerprint_; }

private:
    std::filesystem::path dir_;
    std::string fingerprint_;
};

}  // namespace testsupport
