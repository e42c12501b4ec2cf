// SPDX-License-Identifier: MIT
// What the window says and asks about TLS: a logon in clear, and a
// certificate nothing vouches for.

#include "app/main_form.h"
#include "platform/message_box.h"

#include <cctype>

namespace {

const char* kTitle = "DirWeigh";

}  // namespace

// The log is where the window's user sees the dialogue, so the warning
// goes there, as a sentence, before the password does.
void TMainFrm::znFTPPlainLogon(zn::TObject*) {
    std::string line = znFTP->PlainLogonReason() + ".";
    line[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
    Log(line);
}

// Asked once per certificate: a yes is kept for this server, so the next
// connect goes through without a question; a no cancels the connect before
// the user name and password are sent.
void TMainFrm::znFTPUntrustedCertificate(zn::TObject*, const zn::TlsCertificate& Certificate, bool& Trust) {
    const std::string server = znFTP->Server();
    const std::string question = "The certificate of " + server + " is not trusted (" + Certificate.Problem +
                                 ").\n\nSHA-256 fingerprint:\n" + Certificate.Fingerprint +
                                 "\n\nSubject: " + Certificate.Subject + "\nIssuer: " + Certificate.Issuer +
                                 "\nValid from " + Certificate.ValidFrom + " to " + Certificate.ValidTo +
                                 "\n\nTrust this certificate for " + server + "?";
    FlushLog();
    Trust = platform::AskQuestion(question, kTitle);
    if (Trust) {
        KeepTrustedFingerprint(server, Certificate.Fingerprint);
        // The walk's further connections must meet the same certificate.
        znFTP->SetTrustedFingerprint(Certificate.Fingerprint);
    } else {
        znFTP->Cancel();
    }
}
