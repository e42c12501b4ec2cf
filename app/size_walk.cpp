// "Get Size": a depth-first walk of the server's current directory, one LIST
// per directory, CWD into each subdirectory and CDUP back out.

#include "app/main_form.h"

#include "ftp/dir_list.h"
#include "platform/exception.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>

namespace {

// Directories the walk never enters: the web server's logs, and the entries
// that stand for this directory and its parent. A directory entry without a
// name (a stray header line of some listings) has nowhere to go either.
bool IsWalkedDirectory(const std::string& name) {
    return !name.empty() && name != "logs" && name != "." && name != "..";
}

}  // namespace

void TMainFrm::GetSizeBtnClick() {
    Aborted = false;
    TotalBytes = 0;
    TotalFiles = 0;
    Busy = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    UpdateButtons();
    Status("Retrieving Size...");
    RetrieveDir("");
    Status("Size retrieved.");
    ProgressBar->setValue(0);
    Busy = false;
    QApplication::restoreOverrideCursor();
    UpdateButtons();
    ShowTotals();
}

void TMainFrm::ShowTotals() {
    SetCaption(BytesLbl, QString::number(TotalBytes));
    SetCaption(MBLbl, QString::number(TotalBytes / 1024));
    SetCaption(FilesLbl, QString::number(TotalFiles));
    Log("Homepage Size: " + std::to_string(TotalBytes) + " Bytes\nFiles: " + std::to_string(TotalFiles));
}

void TMainFrm::RetrieveDir(const std::string& /*name: the walk sends no command with it*/, int depth) {
    zn::TznFTPDirList level;
    if (Aborted) return;
    try {
        znFTP->List();
        level.Assign(znFTP->DirList());
        for (int i = 0; i < level.Count(); ++i) {
            if (Aborted) return;
            const zn::TznFTPDirEntry& entry = level.Items(i);
            if (entry.Kind == zn::dkDirectory) {
                if (!IsWalkedDirectory(entry.Name)) continue;
                // A listing that leads back to an ancestor would otherwise
                // be walked ever deeper.
                if (depth >= kMaxWalkDepth) {
                    throw platform::Exception("The directory tree is deeper than " + std::to_string(kMaxWalkDepth) +
                                              " levels; the walk stops at " + entry.Name);
                }
                znFTP->ChangeDir(entry.Name);
                RetrieveDir(entry.Name, depth + 1);
                znFTP->ChangeDirUp();
            } else if (entry.Kind == zn::dkFile) {
                // A size that is not a number (-1) adds nothing; the file counts.
                if (entry.Size > 0) TotalBytes += entry.Size;
                ++TotalFiles;
            }
        }
    } catch (const platform::Exception& e) {
        Aborted = true;
        ShowError(e.Message());
    }
}
