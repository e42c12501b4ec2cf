// SPDX-License-Identifier: MIT
#include "app/cli/cli_completion.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <fstream>

namespace {

// The script run by bash as bash-completion runs it: the words on the line,
// the last one being completed, and what it offers, one a line. The
// program is a stand-in that prints two dial-up entries, one with a blank.
class BashCompletion : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        std::ofstream(Path("dirweigh-cli.bash")) << cli::BashCompletion();
        std::ofstream(Path("dirweigh-cli")) << "#!/bin/sh\n"
                                               "[ \"$1\" = --list-dial-entries ] && printf 'Office VPN\\nMobile\\n'\n";
        QFile::setPermissions(QString::fromStdString(Path("dirweigh-cli")), QFile::ReadOwner | QFile::ExeOwner);
        std::ofstream(Path("last-walk.json")).put('{');
    }

    std::string Offered(const QStringList& words) {
        QProcess bash;
        bash.setWorkingDirectory(dir_.path());
        bash.start("bash", QStringList{"-c",
                                       "source ./dirweigh-cli.bash; COMP_WORDS=(\"$@\"); "
                                       "COMP_CWORD=$(($# - 1)); _dirweigh_cli \"$1\" \"${COMP_WORDS[-1]}\" \"\"; "
                                       "printf '%s\\n' \"${COMPREPLY[@]}\"",
                                       "bash", QString::fromStdString(Path("dirweigh-cli"))} +
                               words);
        EXPECT_TRUE(bash.waitForFinished(10000));
        EXPECT_EQ(bash.readAllStandardError(), "");
        return bash.readAllStandardOutput().toStdString();
    }

private:
    std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }

    QTemporaryDir dir_;
};

TEST_F(BashCompletion, OffersOptionsTheirWordsFilesAndDialEntries) {
    const std::pair<QStringList, const char*> cases[] = {
        {{"--ti"}, "--timeout\n"},
        {{"--ver"}, "--verbose\n--version\n"},
        {{"host", "--tls"}, "--tls\n--tls-fingerprint\n"},
        {{"--walk", "d"}, "design\n"},
        {{"--tls", ""}, "auto\nrequire\nimplicit\noff\n"},
        {{"--compare", "la"}, "last\nlast-walk.json\n"},
        // Names as the shell must be given them; the stand-in's order.
        {{"--dial", ""}, "Office\\ VPN\nMobile\n"},
        {{"--dial", "Mo"}, "Mobile\n"},
        // A number or a name: nothing (and compopt keeps the shell from
        // offering files instead).
        {{"--timeout", ""}, "\n"},
        // After "--", the server only.
        {{"--", "--ti"}, "\n"},
        // Not an option: nothing here; the shell offers file names.
        {{"ho"}, "\n"},
    };
    for (const auto& [words, offered] : cases) {
        EXPECT_EQ(Offered(words), offered) << words.join(' ').toStdString();
    }
}

}  // namespace
