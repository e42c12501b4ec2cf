// SPDX-License-Identifier: MIT
// The answers a walk's further SSH connections log on with: taken from
// the first logon, never asked again.

#include "ssh/ssh_answer_memory.h"

#include <gtest/gtest.h>

namespace {

zn::SshHostKey KeyOf(const std::string& fingerprint) { return {"ssh-ed25519", "blob", 0, fingerprint}; }

// The user pinned one key (as --ssh-host-key does): the first logon goes
// on with it, and refuses any other, known or not. A further connection
// that meets another key, even one the known-hosts files hold, must not
// go on with it: it may be another server under the same name.
TEST(SshAnswerMemory, FurtherConnectionsTrustOnlyTheKeyTheFirstWentOnWith) {
    zn::SshAnswers asked;
    int passwordsAsked = 0;
    asked.Vouch = [](const zn::SshHostKey& key, bool) { return key.Fingerprint == "SHA256:pinned"; };
    asked.Password = [&passwordsAsked]() -> std::optional<std::string> {
        ++passwordsAsked;
        return "secret";
    };
    const zn::SshAnswerMemory memory(asked);
    const zn::SshAnswers again = memory.Again();
    EXPECT_FALSE(again.Vouch(KeyOf("SHA256:pinned"), true)) << "nothing trusted before the first logon";

    EXPECT_FALSE(memory.First().Vouch(KeyOf("SHA256:other"), true));
    ASSERT_TRUE(memory.First().Vouch(KeyOf("SHA256:pinned"), true));
    EXPECT_TRUE(again.Vouch(KeyOf("SHA256:pinned"), true));
    EXPECT_TRUE(again.Vouch(KeyOf("SHA256:pinned"), false));
    EXPECT_FALSE(again.Vouch(KeyOf("SHA256:other"), true));
    EXPECT_FALSE(again.Vouch(KeyOf("SHA256:other"), false));

    // The password the first logon was given, and no second question.
    EXPECT_EQ(again.Password(), std::nullopt);
    EXPECT_EQ(memory.First().Password(), "secret");
    EXPECT_EQ(again.Password(), "secret");
    EXPECT_EQ(passwordsAsked, 1);
    EXPECT_EQ(again.Passphrase("id_ed25519"), std::nullopt);
}

}  // namespace
