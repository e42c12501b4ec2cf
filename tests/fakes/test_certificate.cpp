// SPDX-License-Identifier: MIT
#include "tests/fakes/test_certificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace testsupport {
namespace {

// Each freed by its own function on every way out.
using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertificatePtr = std::unique_ptr<X509, decltype(&X509_free)>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, decltype(&X509_EXTENSION_free)>;

bool AddExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    const ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value), X509_EXTENSION_free);
    if (!extension) return false;
    X509_add_ext(certificate, extension.get(), -1);
    return true;
}

bool WritePem(const std::filesystem::path& path, EVP_PKEY* key, X509* certificate) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    bool ok = true;
    if (key) ok = PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (certificate) ok = ok && PEM_write_X509(file, certificate) == 1;
    std::fclose(file);
    return ok;
}

}  // namespace

TestCertificate::TestCertificate(const std::string& altName) {
    char pattern[] = "/tmp/dirweigh-cert-XXXXXX";
    if (!mkdtemp(pattern)) return;
    dir_ = pattern;
    const KeyPtr ownedKey(EVP_RSA_gen(2048), EVP_PKEY_free);
    const CertificatePtr ownedCertificate(X509_new(), X509_free);
    if (!ownedKey || !ownedCertificate) return;
    EVP_PKEY* const key = ownedKey.get();
    X509* const certificate = ownedCertificate.get();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 24L * 3600);
    X509_NAME* name = X509_get_subject_name(certificate);
    const std::string common = altName.substr(altName.find(':') + 1);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(common.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(certificate, name);
    X509_set_pubkey(certificate, key);
    const bool ok = AddExtension(certificate, NID_subject_alt_name, altName.c_str()) &&
                    AddExtension(certificate, NID_basic_constraints, "critical,CA:TRUE") &&
                    X509_sign(certificate, key, EVP_sha256()) > 0 && WritePem(dir_ / "key.pem", key, nullptr) &&
                    WritePem(dir_ / "cert.pem", nullptr, certificate) && WritePem(dir_ / "both.pem", key, certificate);
    if (ok) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned length = 0;
        X509_digest(certificate, EVP_sha256(), digest, &length);
        std::ostringstream text;
        text << "SHA256";
        for (unsigned i = 0; i < length; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, ":%02X", digest[i]);
            text << hex;
        }
        fingerprint_ = text.str();
    }
}

TestCertificate::~TestCertificate() {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

}  // namespace testsupport
