// SPDX-License-Identifier: MIT
#include "net/core/errors.h"
#include "ssh/private_key_file.h"
#include "ssh/ssh_way_in.h"

#include <cstdlib>
#include <filesystem>

namespace zn {
namespace {

bool Offers(const std::string& methods, const std::string& method) {
    return ("," + methods + ",").find("," + method + ",") != std::string::npos;
}

// A key file with a passphrase is opened with the one the user gives; one
// the user does not give, or that does not open it, passes the key over.
bool LogOnWithKey(SshSession& ssh, const std::string& user, const std::string& file, const SshAnswers& answers) {
    if (!PrivateKeyNeedsPassphrase(file)) return ssh.LogOnWithKeyFile(user, file, "");
    const std::optional<std::string> passphrase = answers.Passphrase ? answers.Passphrase(file) : std::nullopt;
    if (!passphrase) return false;
    if (ssh.LogOnWithKeyFile(user, file, *passphrase)) return true;
    if (answers.Note) answers.Note("the key " + file + " was not taken: " + ssh.LastError());
    return false;
}

bool LogOnWithKeys(SshSession& ssh, const SshTarget& target, const SshAnswers& answers) {
    if (std::getenv("SSH_AUTH_SOCK") && ssh.LogOnWithAgent(target.User)) return true;
    if (target.SshDirectory.empty()) return false;
    for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
        const std::string file = target.SshDirectory + "/" + name;
        if (std::filesystem::exists(file) && LogOnWithKey(ssh, target.User, file, answers)) return true;
    }
    return false;
}

}  // namespace

void LogOn(SshSession& ssh, const SshTarget& target, const SshAnswers& answers) {
    const std::string& user = target.User;
    const std::string methods = ssh.Methods(user);
    if (ssh.LoggedOn()) return;
    if (Offers(methods, "publickey") && LogOnWithKeys(ssh, target, answers)) return;
    const bool password = Offers(methods, "password");
    if (!password && !Offers(methods, "keyboard-interactive")) {
        throw EServerError("the server let " + user + " in with none of its keys, and takes no password (" + methods +
                           ")");
    }
    // Asked for only now, as ssh does.
    const std::optional<std::string> given = answers.Password ? answers.Password() : std::nullopt;
    if (!given) throw EServerError("the server let " + user + " in with none of its keys, and no password was given");
    if (password ? ssh.LogOnWithPassword(user, *given) : ssh.LogOnWithKeyboard(user, *given)) return;
    throw EServerError("the server refused the password of " + user);
}

}  // namespace zn
