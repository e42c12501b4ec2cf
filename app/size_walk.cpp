// SPDX-License-Identifier: MIT
// "Get Size": a walk of the server's current directory, depth first with
// one LIST per directory (CWD into each subdirectory and CDUP back out), or
// the fast walk with STAT or MLSD by path where Setup asks for it.

#include "app/main_form.h"
#include "app/site_breakdown.h"

#include "ftp/fast_walker.h"
#include "ftp/helper_clients.h"
#include "ftp/site_walker.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>

#include <functional>
#include <utility>

namespace {

// The window reports a failure of the walk in a message box, and a server
// that hides names from LIST in the log.
class BoxReport : public zn::WalkObserver {
public:
    BoxReport(std::function<void(const std::string&)> show, std::function<void(const std::string&)> log)
        : show_(std::move(show)), log_(std::move(log)) {}
    void WalkFailed(const std::string& message) override { show_(message); }
    void ListingChosen(const zn::ListingForm& form, bool hidden) override {
        if (hidden) log_(zn::HiddenNamesNote(form));
    }

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
    const std::string start = StartUpDirEdt->text().toStdString();
    walkTree_ = std::make_shared<zn::WalkTree>(start.rfind('/', 0) == 0 ? start : "/" + start);
    // Where it was measured, for the export; never the password.
    walkSource_ = "ftp://" + (UserEdt->text().isEmpty() ? std::string("anonymous") : UserEdt->text().toStdString()) +
                  "@" + ServerEdt->text().toStdString() + std::string(walkTree_->Name(zn::WalkTree::kRoot));
    pacer_->Start();
    if (breakdown_ && breakdown_->isVisible()) breakdown_->ShowLive(walkTree_);
    if (IniFastWalk) {
        FastRetrieve();
    } else {
        RetrieveDir("");
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

// The further connections' lines go to the log too, each tagged with the
// number of the connection that sent or received it ("[2] LIST ...").
void TMainFrm::FastRetrieve() {
    BoxReport report([this](const std::string& message) { ShowError(message); },
                     [this](const std::string& line) { Log(line); });
    zn::WalkRules rules;
    rules.Tree = walkTree_.get();
    zn::FastWalker walker(*znFTP, report, rules);
    platform::TComponent owner(nullptr);
    // However the walk ends, Cancel must not reach connections the owner
    // has freed.
    struct ForgetHelpers {
        std::vector<zn::TznFTP*>& helpers;
        ~ForgetHelpers() { helpers.clear(); }
    } forget{helpers_};
    walker.SetHelperSource([this, &owner] {
        zn::OpenHelperClients(
            owner, *znFTP, IniConnections, helpers_,
            [this](zn::TznFTP& helper, int number) {
                const std::string tag = "[" + std::to_string(number) + "] ";
                helper.OnLineSent = [this, tag](zn::TObject*, const std::string& line) {
                    Log(tag + ShownCommand(line));
                };
                helper.OnLineReceived = [this, tag](zn::TObject*, const std::string& line) { Log(" " + tag + line); };
            },
            [this](int number, const std::string& message) {
                Log("[" + std::to_string(number) + "] " + message);
            });
        return helpers_;
    });
    walker.Walk();
    zn::EndWalkSessions(std::exchange(helpers_, {}), walker.Aborted);
    LogRefused(walker.RefusedDirectories);
    LogUnparsed(walker.UnparsedLines);
    Aborted = walker.Aborted;
    TotalBytes = walker.TotalBytes;
    TotalFiles = static_cast<std::int32_t>(walker.TotalFiles);
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

// The walk itself is the shared walker's; the window keeps the totals.
void TMainFrm::RetrieveDir(const std::string& name, int depth) {
    BoxReport report([this](const std::string& message) { ShowError(message); },
                     [this](const std::string& line) { Log(line); });
    zn::WalkRules rules;
    rules.UnwindThroughClosedConnection = true;
    rules.Tree = walkTree_.get();
    zn::SiteWalker walker(*znFTP, report, rules);
    walker.Aborted = Aborted;
    walker.TotalBytes = TotalBytes;
    walker.TotalFiles = TotalFiles;
    // The start directory is listed first with the fullest LIST the server
    // gives, and the walk takes that listing.
    if (depth > 0 || walker.ChooseListing()) walker.RetrieveDir(name, depth);
    LogRefused(walker.RefusedDirectories);
    LogUnparsed(walker.UnparsedLines);
    Aborted = walker.Aborted;
    TotalBytes = walker.TotalBytes;
    TotalFiles = static_cast<std::int32_t>(walker.TotalFiles);
}
