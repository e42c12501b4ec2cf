// SPDX-License-Identifier: MIT
// "Get Size" and what follows it: the walk of the server's current
// directory by the site run (site_run.h), the designed walk or, where
// Setup asks for it, the fast walk by STAT or MLSD over further
// connections; then the totals, what the walk left out in the log, and the
// site breakdown window.

#include "app/main_form.h"
#include "app/site_breakdown.h"
#include "net/core/server_key.h"
#include "sitetree/site_history.h"

#include "walk/site_run.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>

#include <functional>
#include <utility>

namespace {

// The window reports a failure of the walk in a message box; a server that
// hides names from LIST, and the further connections' dialogue, in the log.
class BoxReport : public zn::WalkSessionObserver {
public:
    BoxReport(std::function<void(const std::string&)> show, std::function<void(const std::string&)> log)
        : show_(std::move(show)), log_(std::move(log)) {}
    void WalkFailed(const std::string& message) override { show_(message); }
    void ListingChosen(const zn::ListingForm& form, bool hidden) override {
        if (hidden) log_(zn::HiddenNamesNote(form));
    }
    void LineSent(const std::string& tag, const std::string& shown) override { log_(tag + shown); }
    void LineReceived(const std::string& tag, const std::string& line) override { log_(" " + tag + line); }
    void DirectoryCut(const std::string&, const std::string& message) override { log_("Not complete: " + message); }
    void ConnectionOpening(const std::string& tag) override { log_(tag + zn::kOpeningNote); }
    void ConnectionFailed(const std::string& tag, const std::string& message) override { log_(tag + message); }

private:
    std::function<void(const std::string&)> show_;
    std::function<void(const std::string&)> log_;
};

}  // namespace

void TMainFrm::GetSizeBtnClick() {
    Aborted = false;
    TotalBytes = 0;
    TotalFiles = 0;
    Busy = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    UpdateButtons();
    Status("Retrieving Size...");
    const bool sftp = SftpConnected();
    const std::string start = sftp ? sftpStart_ : StartUpDirEdt->text().toStdString();
    walkTree_ = std::make_shared<zn::WalkTree>(zn::SiteTreeRoot(start));
    walkSite_ = SiteOfWalk(sftp);
    // Where it was measured, for the export; never the password.
    walkSource_ = zn::WalkSource(walkSite_, *walkTree_);
    pacer_->Start();
    if (breakdown_ && breakdown_->isVisible()) breakdown_->ShowLive(walkTree_);
    if (sftp) {
        WalkSftp();
    } else {
        RetrieveDir();
    }
    Status("Size retrieved.");
    ProgressBar->setValue(0);
    QApplication::restoreOverrideCursor();
    ShowTotals();
    AfterWalk();
    // Complete or not, what the walk saw can be shown.
    BreakdownLbl->show();
    if (breakdown_ && breakdown_->isVisible()) ShowBreakdown();
    EndBusy();
}

// Who walks which server, and how; the start comes with the walk.
zn::SiteKey TMainFrm::SiteOfWalk(bool sftp) const {
    if (sftp) return {sftpUser_, sftpServer_, {}, zn::UrlScheme::Sftp};
    const std::string user = UserEdt->text().isEmpty() ? std::string("anonymous") : UserEdt->text().toStdString();
    return {user, znFTP->Server(), {}, znFTP->TlsMode() == zn::tmImplicit ? zn::UrlScheme::Ftps : zn::UrlScheme::Ftp};
}

// Which directory the walk starts from, as the server names it: the
// history keeps the walk under it.
void TMainFrm::LearnStart(zn::SiteRun& run) {
    walkStart_.clear();
    if (!IniHistory) return;
    try {
        walkStart_ = run.LearnStart();
    } catch (const std::exception&) {
        // The walk meets the same failure and reports it.
    }
}

void TMainFrm::TakeFeatures() {
    try {
        znFTP->Features();
    } catch (const std::exception&) {
        // The walk meets the same failure and reports it.
    }
}

void TMainFrm::ShowBreakdown() {
    if (!breakdown_) breakdown_ = new SiteBreakdown(this);
    if (walkTree_) breakdown_->SetTree(std::move(walkTree_), walkSource_, std::exchange(earlierWalks_, {}));
    breakdown_->show();
    breakdown_->raise();
}

bool TMainFrm::OpenBreakdown(const QString& file, QString& error) {
    if (!breakdown_) breakdown_ = new SiteBreakdown(this);
    if (!breakdown_->OpenFile(file, error)) return false;
    breakdown_->show();
    return true;
}

void TMainFrm::ShowTotals() {
    SetCaption(BytesLbl, QString::number(TotalBytes));
    SetCaption(MBLbl, QString::number(TotalBytes / 1024));
    SetCaption(FilesLbl, QString::number(TotalFiles));
    Log("Homepage Size: " + std::to_string(TotalBytes) + " Bytes\nFiles: " + std::to_string(TotalFiles));
}

void TMainFrm::LogRefused(std::int64_t refused) {
    if (refused == 0) return;
    Log("Not entered: " + std::to_string(refused) +
        (refused == 1 ? " directory whose name holds \"/\" or is empty"
                      : " directories whose names hold \"/\" or are empty"));
}

// Lines of a listing form the parser does not know are left out of the
// total; the user must know the total is short.
void TMainFrm::LogUnparsed(std::int64_t unparsed) {
    if (unparsed == 0) return;
    Log("Not read: " + std::to_string(unparsed) +
        (unparsed == 1 ? " listing line in a form this program does not know; its size is not in the total"
                       : " listing lines in a form this program does not know; their sizes are not in the total"));
}

// A total the user must not take for exact: a listing the server cut
// short (each logged where it was met), a sum past the largest number.
void TMainFrm::TellNotWhole(const zn::WalkTotals& walked) {
    if (walked.Saturated()) {
        Log("The total passes " + std::to_string(walked.TotalBytes) + " bytes; the figure shown is not exact");
    }
    if (walked.UnreadableDirectories > 0 && !walked.Aborted) {
        ShowError("The server would not let " + std::to_string(walked.UnreadableDirectories) +
                  (walked.UnreadableDirectories == 1 ? " directory" : " directories") +
                  " be read: the total leaves out what is in them (see the log)");
    }
    if (walked.CutDirectories > 0 && !walked.Aborted) {
        ShowError("The server listed " + std::to_string(walked.CutDirectories) +
                  (walked.CutDirectories == 1 ? " directory" : " directories") +
                  " only in part: the total leaves out what it did not list (see the log)");
    }
}

// The walk itself is the site run's; the window keeps the totals. The
// further connections' lines go to the log too, each tagged with the number
// of the connection that sent or received it ("[2] LIST ..."). What the
// server offers after the logon (the walk's forms, the space left) is asked
// before the walk, so nothing of it follows the totals.
void TMainFrm::RetrieveDir() {
    TakeFeatures();
    BoxReport report([this](const std::string& message) { ShowError(message); },
                     [this](const std::string& line) { Log(line); });
    zn::WalkSession::Settings settings{{}, IniFastWalk, IniConnections};
    // After a cancel or a time-out each level still tries to go up and
    // reports that it cannot, so the log shows how far the walk had gone.
    settings.Rules.UnwindThroughClosedConnection = true;
    settings.Rules.Tree = walkTree_.get();
    zn::SiteRun run(*znFTP, report, std::move(settings));
    // However the walk ends, Cancel must not reach connections the run has
    // freed.
    siteRun_ = &run;
    struct Forget {
        zn::SiteRun*& run;
        ~Forget() { run = nullptr; }
    } forget{siteRun_};
    LearnStart(run);
    run.Walk();
    const zn::WalkTotals& walked = run.Totals();
    run.End(walked.Aborted, false);
    LogRefused(walked.RefusedDirectories);
    LogUnparsed(walked.UnparsedLines);
    TellNotWhole(walked);
    Aborted = walked.Aborted;
    TotalBytes = walked.TotalBytes;
    TotalFiles = static_cast<std::int32_t>(walked.TotalFiles);
    AskSpaceLeft(run);
}
