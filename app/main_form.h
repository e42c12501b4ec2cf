// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/screen_pacer.h"
#include "ftp/client/ftp.h"
#include "platform/component.h"
#include "platform/modules.h"
#include "sitetree/history_key.h"
#include "sitetree/walk_tree.h"
#include "ssh/ssh_way_in.h"
#include "walk/cwd_walker.h"

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// The DirWeigh window: the user's server, name, password and start
// directory, the buttons that connect, walk the site and disconnect, the
// totals, a status line, a progress bar and the transcript of the dialogue.
class SiteBreakdown;
namespace zn {
class SftpConnection;
class SftpSiteRun;
class SiteRun;
struct WalkTotals;
}  // namespace zn

class TMainFrm : public QWidget {
public:
    // `appDir` is where the settings and read-me files live: the directory of
    // the executable, unless a test gives another.
    explicit TMainFrm(std::string appDir = platform::ExecutableDirectory());
    ~TMainFrm() override;

    void FormCreate();
    void FormShow();
    void FormClose();
    void ConnectBtnClick();
    void DisconnectBtnClick();
    void CancelBtnClick();
    void GetSizeBtnClick();
    void CloseBtnClick();
    void AboutImgClick();
    void UpdateButtons();
    void Status(const std::string& text);
    // Walks the server's current directory and everything below it
    // (size_walk.cpp), by one STAT per directory where Setup asks for the
    // fast walk and the server allows, then asks the space left.
    void RetrieveDir();
    // An sftp:// URL in the Server field (main_form_sftp.cpp): Connect logs
    // on over SSH, and Get Size walks over SFTP.
    void ConnectSftp();
    void WalkSftp();
    // The SFTP connection, made at each connect to an sftp:// URL and open
    // while connected; none before the first.
    std::unique_ptr<zn::SftpConnection> sftp_;
    // A walk's SFTP requests and replies, and how long an SSH wait may go
    // without progress.
    static constexpr int kSftpTimeOutSeconds = 60;

    void znFTPOpen(zn::TObject* Sender);
    void znFTPConnected(zn::TObject* Sender);
    void znFTPClosing(zn::TObject* Sender);
    void znFTPClosed(zn::TObject* Sender);
    void znFTPCancel(zn::TObject* Sender);
    void znFTPLineSent(zn::TObject* Sender, const std::string& TheLine);
    void znFTPLineReceived(zn::TObject* Sender, const std::string& TheLine);
    void znFTPTransferStart(zn::TObject* Sender);
    void znFTPTransferProgress(zn::TObject* Sender, std::int32_t Perc, std::int32_t Transferred);
    void znFTPSecured(zn::TObject* Sender);
    void znFTPPlainLogon(zn::TObject* Sender);
    void znFTPUntrustedCertificate(zn::TObject* Sender, const zn::TlsCertificate& Certificate, bool& Trust);

    // The walk does not go deeper than this below the start directory.
    static constexpr int kMaxWalkDepth = zn::kDefaultMaxWalkDepth;

    QGroupBox* GroupBox4 = nullptr;
    QLabel* AboutImg = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* VersionLbl = nullptr;
    QLabel* AboutLbl = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Label6 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* ServerEdt = nullptr;
    QLineEdit* UserEdt = nullptr;
    QLineEdit* PasswordEdt = nullptr;
    QLineEdit* StartUpDirEdt = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* BytesLbl = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* MBLbl = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* FilesLbl = nullptr;
    // "Where is the space?": shown after a walk, opens the breakdown.
    QLabel* BreakdownLbl = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLabel* StatusLbl = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPlainTextEdit* LogMem = nullptr;
    QPushButton* ConnectBtn = nullptr;
    QPushButton* DisconnectBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* GetSizeBtn = nullptr;
    QPushButton* CloseBtn = nullptr;

    zn::TznFTP* znFTP = nullptr;

    std::string AppDir;
    std::string IniFileName;
    std::string ReadMeFileName;
    std::string IniProxyServer;
    std::int32_t IniProxyType = 0;
    bool IniPassive = false;
    // FastWalk=1: STAT listings over the control connection (size_walk.cpp),
    // over Connections=N connections (default 4, 1 to 16).
    bool IniFastWalk = false;
    std::int32_t IniConnections = 4;
    // History=0: complete walks are not kept (walk_history.h), nor is the
    // change since the last one logged.
    bool IniHistory = true;
    // The walk while it runs, for Cancel to reach its further connections.
    zn::SiteRun* siteRun_ = nullptr;
    zn::TTlsMode IniTlsMode = zn::tmAuto;
    bool Busy = false;
    bool Aborted = false;
    std::int64_t TotalBytes = 0;
    std::int32_t TotalFiles = 0;
    // What the last walk saw, until the breakdown window takes it.
    std::shared_ptr<zn::WalkTree> walkTree_;
    std::string walkSource_;
    // Which site the walk is of, for the history; its Start comes with the
    // walk.
    zn::SiteKey walkSite_;
    std::string walkStart_;  // the server's PWD of the walk's start; "" where it gave none
    // The kept walks of the site before the last walk, which the breakdown
    // may compare it with; none after a walk that did not end.
    std::vector<std::string> earlierWalks_;
    // Opens the breakdown window (non-modal) with the last walk's tree, or
    // with an export.
    void ShowBreakdown();
    bool OpenBreakdown(const QString& file, QString& error);
    SiteBreakdown* Breakdown() const { return breakdown_; }

    // The default of the Server setting on a first start.
    static constexpr const char* kDefaultServer = "ftp.example.com";

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();  // main_form_controls.cpp, with the four below
    void CreateAboutBox();
    void CreateServerBox();
    void CreateInfoBox();
    void CreateStatusBox();
    void SetTabOrder();
    void BindHandlers();
    void CreateFtpClient();
    void CentreOnScreen();
    void LoadSettings();  // settings.cpp
    void SaveSettings();
    std::string TrustedFingerprintFor(const std::string& server) const;
    void KeepTrustedFingerprint(const std::string& server, const std::string& fingerprint);
    zn::TTlsMode TlsSetting(const std::string& value);
    std::string ServerToReach(zn::TTlsMode& mode) const;
    void ShowError(const std::string& message);
    // Connected to the server, by FTP or by SFTP.
    bool Connected() const;
    zn::SiteKey SiteOfWalk(bool sftp) const;
    // The window's answers to an SSH logon: the host key box, the Password
    // field, the passphrase box, the log (main_form_sftp.cpp).
    zn::SshAnswers SshAnswersFor(const std::string& server);
    bool VouchForHostKey(const std::string& server, const zn::SshHostKey& key, bool known);
    void OpenSftp(const zn::SshTarget& target, const std::string& server);
    bool SftpConnected() const;
    void DisconnectSftp();
    void AfterSftpWalk(const zn::WalkTotals& walked);
    // Where the SFTP walk starts and who logged on, from the connect.
    std::string sftpStart_;
    std::string sftpUser_;
    std::string sftpServer_;
    // Where the connect went and the answers it took, for the walk's
    // further connections, which never ask again.
    zn::SshTarget sftpTarget_;
    zn::SshAnswers sftpAgain_;
    // The SFTP walk while it runs, for Cancel to reach its further
    // connections.
    zn::SftpSiteRun* sftpRun_ = nullptr;
    void Log(const std::string& text);
    void AppendToLog(const QString& lines);
    void ShowTotals();
    void LogRefused(std::int64_t refused);
    void LogUnparsed(std::int64_t unparsed);
    void TellNotWhole(const zn::WalkTotals& walked);
    // After a walk: what a complete one leaves (size_history.cpp).
    void AfterWalk();
    void KeepInHistory();
    // "Space used: 851.00 MiB of 1.00 GiB, 83%" where the server tells the
    // space left (size_space_used.cpp).
    // The space left (AVBL), asked right after a whole walk, and told in
    // the log after the totals and the change, so that the log ends with
    // them.
    void AskSpaceLeft(zn::SiteRun& run);
    void TakeFeatures();
    void LearnStart(zn::SiteRun& run);
    void LogSpaceUsed();
    std::string spaceUsed_;
    // Ends a connect, walk or disconnect; a Quit that came meanwhile closes
    // the window now.
    void EndBusy();
    // Runs a handler; a failure that escapes it reaches the application's
    // error display instead of crossing Qt's frames.
    void Handle(const std::function<void()>& handler);

    platform::TComponent components_{nullptr};
    std::unique_ptr<ScreenPacer> pacer_;  // made with the controls it paces
    // Log lines held back while the pacer runs: one append per paint costs
    // far less than one per line.
    QString pendingLog_;
    void FlushLog();
    bool shown_ = false;
    bool closeWhenIdle_ = false;
    std::string appDirGiven_;
    SiteBreakdown* breakdown_ = nullptr;
};

// Creates the main window; when that fails (the sockets library cannot be
// loaded: "Winsock not found"), shows the error and returns nothing.
std::unique_ptr<TMainFrm> CreateMainWindow(const std::string& appDir = platform::ExecutableDirectory());

// Sets a label's caption and widens the label when the caption needs it.
void SetCaption(QLabel* label, const QString& text);

// The application-wide error display: the message with a full stop added
// when it has none, an error icon and the title "DirWeigh".
void ShowApplicationError(const std::string& message);
