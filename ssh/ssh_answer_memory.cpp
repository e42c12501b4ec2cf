// SPDX-License-Identifier: MIT
#include "ssh/ssh_answer_memory.h"

#include <utility>

namespace zn {

SshAnswerMemory::SshAnswerMemory(SshAnswers asked) : asked_(std::move(asked)) {
    first_.Note = asked_.Note;
    first_.Step = asked_.Step;
    // The answers outlive this object in the connections' hands, so each
    // holds what it needs rather than `this`.
    std::shared_ptr<Kept> kept = kept_;
    first_.Vouch = [kept, vouch = asked_.Vouch](const SshHostKey& key, bool known) {
        const bool trusted = vouch && vouch(key, known);
        if (trusted) kept->hostKey = key.Fingerprint;
        return trusted;
    };
    first_.Password = [kept, password = asked_.Password]() -> std::optional<std::string> {
        kept->password = password ? password() : std::nullopt;
        return kept->password;
    };
    first_.Passphrase = [kept, passphrase = asked_.Passphrase](const std::string& file) {
        std::optional<std::string> given = passphrase ? passphrase(file) : std::nullopt;
        kept->passphrases[file] = given;
        return given;
    };
}

SshAnswers SshAnswerMemory::Again() const {
    SshAnswers again;
    again.Note = asked_.Note;
    again.Step = asked_.Step;
    std::shared_ptr<Kept> kept = kept_;
    // Only the key the first logon went on with, known or not: the first
    // may have refused another known key (one pinned by the user), and a
    // further connection that meets one may have reached another server.
    again.Vouch = [kept](const SshHostKey& key, bool) {
        return !kept->hostKey.empty() && key.Fingerprint == kept->hostKey;
    };
    again.Password = [kept] { return kept->password; };
    again.Passphrase = [kept](const std::string& file) -> std::optional<std::string> {
        const auto found = kept->passphrases.find(file);
        return found == kept->passphrases.end() ? std::nullopt : found->second;
    };
    return again;
}

}  // namespace zn
