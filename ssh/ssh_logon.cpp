// SPDX-License-Identifier: MIT
#include "net/core/errors.h"
#include "ssh/ssh_session.h"

#include <cstdlib>
#include <cstring>

namespace zn {
namespace {

// Whether a logon call's answer is the server's refusal, which lets the
// next way in be tried; anything else ends the logon.
bool Refused(long rc) {
    return rc == LIBSSH2_ERROR_AUTHENTICATION_FAILED || rc == LIBSSH2_ERROR_PUBLICKEY_UNVERIFIED ||
           rc == LIBSSH2_ERROR_FILE || rc == LIBSSH2_ERROR_METHOD_NOT_SUPPORTED;
}

}  // namespace

std::string SshSession::Methods(const std::string& user) {
    const char* methods = nullptr;
    Await([&] {
        methods = libssh2_userauth_list(session_, user.c_str(), static_cast<unsigned>(user.size()));
        if (methods) return 0L;
        return static_cast<long>(libssh2_session_last_errno(session_));
    });
    if (methods) return methods;
    // No list and no error: the server took the user with no method at all.
    if (libssh2_userauth_authenticated(session_)) {
        authenticated_ = true;
        return {};
    }
    throw ESocketError("the server " + server_ + " ended the logon: " + LastError());
}

bool SshSession::LogOnWithPassword(const std::string& user, const std::string& password) {
    const long rc = Await([&] {
        return static_cast<long>(libssh2_userauth_password_ex(session_, user.c_str(),
                                                              static_cast<unsigned>(user.size()), password.c_str(),
                                                              static_cast<unsigned>(password.size()), nullptr));
    });
    if (rc == 0) return authenticated_ = true;
    if (Refused(rc)) return false;
    throw ESocketError("the password logon to " + server_ + " failed: " + LastError());
}

bool SshSession::LogOnWithKeyFile(const std::string& user, const std::string& privateKeyFile,
                                  const std::string& passphrase) {
    // The public half is worked out from the private one.
    const long rc = Await([&] {
        return static_cast<long>(libssh2_userauth_publickey_fromfile_ex(session_, user.c_str(),
                                                                        static_cast<unsigned>(user.size()), nullptr,
                                                                        privateKeyFile.c_str(), passphrase.c_str()));
    });
    if (rc == 0) return authenticated_ = true;
    if (Refused(rc)) return false;
    throw ESocketError("the key logon to " + server_ + " failed: " + LastError());
}

namespace {

// What the keyboard-interactive callback answers with; libssh2 hands the
// callback the session's abstract pointer, which points here meanwhile.
struct KeyboardAnswer {
    const std::string* password = nullptr;
    bool given = false;
};

// Every prompt of the first round gets the password, the way a "Password:"
// prompt is answered; a second round means it was wrong, and is answered
// with nothing, so that the password is not sent again and again. The
// answers are malloc'd: libssh2 frees them.
void AnswerPrompts(const char*, int, const char*, int, int count, const LIBSSH2_USERAUTH_KBDINT_PROMPT*,
                   LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses, void** abstract) {
    auto* answer = static_cast<KeyboardAnswer*>(*abstract);
    if (count <= 0 || !answer) return;
    const std::string text = answer->given ? std::string() : *answer->password;
    answer->given = true;
    for (int i = 0; i < count; ++i) {
        auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
        if (!copy) return;
        std::memcpy(copy, text.c_str(), text.size() + 1);
        responses[i].text = copy;
        responses[i].length = static_cast<decltype(responses[i].length)>(text.size());
    }
}

}  // namespace

bool SshSession::LogOnWithKeyboard(const std::string& user, const std::string& password) {
    KeyboardAnswer answer{&password};
    void** abstract = libssh2_session_abstract(session_);
    void* before = *abstract;
    *abstract = &answer;
    long rc = 0;
    try {
        rc = Await([&] {
            return static_cast<long>(libssh2_userauth_keyboard_interactive_ex(
                session_, user.c_str(), static_cast<unsigned>(user.size()), &AnswerPrompts));
        });
    } catch (...) {
        *abstract = before;
        throw;
    }
    *abstract = before;
    if (rc == 0) return authenticated_ = true;
    if (Refused(rc)) return false;
    throw ESocketError("the keyboard-interactive logon to " + server_ + " failed: " + LastError());
}

bool SshSession::LogOnWithAgent(const std::string& user) {
    LIBSSH2_AGENT* agent = libssh2_agent_init(session_);
    if (!agent) return false;
    bool in = false;
    // The agent is a local socket that answers at once: its calls block.
    if (libssh2_agent_connect(agent) == 0 && libssh2_agent_list_identities(agent) == 0) {
        libssh2_agent_publickey* previous = nullptr;
        libssh2_agent_publickey* identity = nullptr;
        while (!in && libssh2_agent_get_identity(agent, &identity, previous) == 0) {
            const long rc =
                Await([&] { return static_cast<long>(libssh2_agent_userauth(agent, user.c_str(), identity)); });
            in = rc == 0;
            previous = identity;
        }
        libssh2_agent_disconnect(agent);
    }
    libssh2_agent_free(agent);
    if (in) authenticated_ = true;
    return in;
}

bool SshSession::LoggedOn() const { return authenticated_; }

}  // namespace zn
