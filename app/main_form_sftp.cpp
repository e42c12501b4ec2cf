// SPDX-License-Identifier: MIT
// An sftp:// URL in the Server field: Connect logs on over SSH with the
// user's keys, the agent or the Password field, after the host key is
// known or the user vouched for it; Get Size walks over SFTP into the
// same totals, tree and history as an FTP walk, with the requests and
// replies in the log.

#include "app/main_form.h"

#include "app/field_bytes.h"
#include "app/sftp_url.h"
#include "net/core/errors.h"
#include "net/core/server_key.h"
#include "platform/exception.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "ssh/sftp_connection.h"
#include "ssh/ssh_answer_memory.h"
#include "walk/sftp_site_run.h"

#include <QLineEdit>
#include <QProgressBar>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <utility>

namespace {

const char* kTitle = "DirWeigh";

// The window reports a failure of the walk in a message box, each
// directory the server would not let it read in the log, and each listed
// directory on the progress bar, after which the window keeps up. Requests
// go to the log as commands are shown, replies indented.
class SftpReport : public zn::WalkSessionObserver {
public:
    SftpReport(std::function<void(const std::string&)> show, std::function<void(const std::string&)> log,
               QProgressBar* bar, std::function<void()> keepUp)
        : show_(std::move(show)), log_(std::move(log)), bar_(bar), keepUp_(std::move(keepUp)) {}
    void WalkFailed(const std::string& message) override { show_(message); }
    void DirectoryListed(const std::string&) override {
        bar_->setValue(std::min(++listed_, bar_->maximum()));
        keepUp_();
    }
    void DirectoryNotRead(const std::string& path, const std::string& reply) override {
        log_("Not read: " + path + ": " + reply);
    }
    void LineSent(const std::string&, const std::string& shown) override { log_(shown); }
    void LineReceived(const std::string&, const std::string& line) override { log_(" " + line); }

private:
    std::function<void(const std::string&)> show_;
    std::function<void(const std::string&)> log_;
    QProgressBar* bar_;
    std::function<void()> keepUp_;
    int listed_ = 0;
};

// As ssh does: the user the URL names, else the User field's, else the
// one running the program.
std::string SshUser(const SftpUrl& url, const std::string& field) {
    if (!url.User.empty()) return url.User;
    if (!field.empty()) return field;
    const passwd* entry = getpwuid(getuid());
    return entry ? entry->pw_name : "";
}

}  // namespace

bool TMainFrm::Connected() const { return znFTP->Connected() || SftpConnected(); }

bool TMainFrm::SftpConnected() const { return sftp_ && sftp_->Connected(); }

// Asked once per key: a yes is kept in DirWeigh's own known-hosts file,
// never the user's, so the next connect goes through without a question;
// a no ends the connect before the user name is sent.
bool TMainFrm::VouchForHostKey(const std::string& server, const zn::SshHostKey& key, bool known) {
    if (known) return true;
    const std::string question = "The host key of " + server + " is not known.\n\nSHA-256 fingerprint:\n" +
                                 key.Fingerprint + "\n\nKey type: " + key.Type + "\n\nTrust this key for " + server +
                                 "?";
    FlushLog();
    return platform::AskQuestion(question, kTitle);
}

zn::SshAnswers TMainFrm::SshAnswersFor(const std::string& server) {
    zn::SshAnswers answers;
    answers.Vouch = [this, server](const zn::SshHostKey& key, bool known) {
        return VouchForHostKey(server, key, known);
    };
    answers.Password = [this]() -> std::optional<std::string> {
        const std::string password = FieldBytes(PasswordEdt);
        if (password.empty()) return std::nullopt;
        Log("Logging on with the password");
        return password;
    };
    answers.Passphrase = [this](const std::string& file) {
        FlushLog();
        return platform::AskSecret("The key " + file + " is kept under a passphrase.\n\nPassphrase:", kTitle);
    };
    answers.Note = [this](const std::string& note) { Log(note); };
    answers.Step = [this](const std::string& line) { Log(line); };
    return answers;
}

void TMainFrm::ConnectSftp() {
    const SftpUrl url = *ReadSftpUrl(FieldBytes(ServerEdt));
    sftpServer_ = url.Server;
    sftpUser_ = SshUser(url, FieldBytes(UserEdt));
    sftpStart_ = url.Path.empty() ? FieldBytes(StartUpDirEdt) : url.Path;
    const zn::SshTarget target{url.Server, sftpUser_, zn::UserSshDirectory(), zn::OwnKnownHostsFile()};
    Busy = true;
    UpdateButtons();
    Status("Connecting...");
    Log("SSH: connecting to " + url.Server + " as " + sftpUser_);
    try {
        OpenSftp(target, url.Server);
        Log("SSH: logged on; SFTP open");
        Status("Connected.");
    } catch (const platform::Exception& e) {
        Status("Disconnected.");
        ShowError(e.Message());
    }
    EndBusy();
}

// A connection of its own for each connect, so that a Cancel of an
// earlier one, or of a walk over FTP, is not taken for this one's; one
// that does not open is closed at once, whatever ended it.
void TMainFrm::OpenSftp(const zn::SshTarget& target, const std::string& server) {
    sftp_ = std::make_unique<zn::SftpConnection>();
    const zn::SshAnswerMemory answers(SshAnswersFor(server));
    sftpTarget_ = target;
    sftpAgain_ = answers.Again();
    try {
        sftp_->Open(target, answers.First(), kSftpTimeOutSeconds);
    } catch (...) {
        sftp_->Close();
        throw;
    }
}

void TMainFrm::DisconnectSftp() {
    Status("Disconnecting...");
    sftp_->Close();
    Status("Disconnected.");
}

// The walk itself is the SFTP site run's, over the connection opened at
// Connect and under the window's rules; a directory the server will not
// let it read is passed over and told, as dirweigh-cli does: over SFTP
// that is a folder's permissions, which a walk that ended there could
// never get past.
void TMainFrm::WalkSftp() {
    // Over a fast link every reply may be there before the walk asks for
    // it, so that the walk never waits in the event loop, where the window
    // paints and a Cancel ends a wait. So it keeps up after each directory,
    // and a Cancel that came meanwhile ends the walk there.
    const auto keepUp = [this] {
        platform::ProcessMessages();
        if (sftp_->Canceled()) throw zn::ECanceledError();
    };
    SftpReport report([this](const std::string& message) { ShowError(message); },
                      [this](const std::string& line) { Log(line); }, ProgressBar, keepUp);
    zn::SftpSiteRun::Settings settings;
    settings.Rules.GoOnPastUnreadable = true;
    settings.Rules.Tree = walkTree_.get();
    settings.Start = sftpStart_;
    settings.Connections = IniConnections;
    zn::SftpSiteRun run(*sftp_, report, std::move(settings));
    run.AllowFurther(sftpTarget_, sftpAgain_, kSftpTimeOutSeconds);
    ProgressBar->setValue(0);
    // Cancel reaches the walk's further connections while it runs, and
    // nothing once it has ended, however it ended.
    struct WhileWalking {
        zn::SftpSiteRun*& running;
        ~WhileWalking() { running = nullptr; }
    } whileWalking{sftpRun_ = &run};
    run.Walk();
    walkStart_ = run.Start();
    AfterSftpWalk(run.Totals());
}

void TMainFrm::AfterSftpWalk(const zn::WalkTotals& walked) {
    LogRefused(walked.RefusedDirectories);
    TellNotWhole(walked);
    Aborted = walked.Aborted;
    TotalBytes = walked.TotalBytes;
    TotalFiles = static_cast<std::int32_t>(walked.TotalFiles);
    // A walk that ended early leaves requests on the way, and after a
    // Cancel or a time-out a session that cannot go on: it is closed, as
    // the FTP connection is.
    if (Aborted) DisconnectSftp();
}
