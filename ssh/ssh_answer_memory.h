// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ssh/ssh_way_in.h"

namespace zn {

// What the user answered for the first logon of a run, kept in memory for
// the further connections of its walk: they log on to the same server as
// the same user, so nobody is asked twice. Only a host key the first logon
// took is trusted again, and only the password and passphrases it was
// given are given again.
class SshAnswerMemory {
public:
    explicit SshAnswerMemory(SshAnswers asked);

    // The user's answers, each one remembered as it is given.
    const SshAnswers& First() const { return first_; }
    // Answers from memory alone, that never ask; notes and steps go where
    // the first's went.
    SshAnswers Again() const;

private:
    struct Kept {
        std::string hostKey;  // the fingerprint the first logon went on with
        std::optional<std::string> password;
        std::map<std::string, std::optional<std::string>> passphrases;  // by key file
    };
    SshAnswers first_;
    SshAnswers asked_;
    std::shared_ptr<Kept> kept_ = std::make_shared<Kept>();
};

}  // namespace zn
