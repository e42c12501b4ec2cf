// SPDX-License-Identifier: MIT
#include "app/main_form.h"

#include "app/field_bytes.h"
#include "app/ini_tls_memory.h"
#include "app/settings_location.h"
#include "app/sftp_url.h"
#include "app/shell_open.h"
#include "ftp/client/connection_profile.h"
#include "platform/exception.h"
#include "platform/message_box.h"
#include "ssh/sftp_connection.h"
#include "walk/sftp_site_run.h"
#include "walk/site_run.h"
#include "walk/walk_session.h"

#include <cctype>
#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

namespace {

const char* kTitle = "DirWeigh";

// A label that reacts to a click like a link.
class ClickFilter : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> onClick) : QObject(parent), onClick_(std::move(onClick)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            onClick_();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onClick_;
};

// Enter and Esc typed in the log stay in the log: they press no button.
class KeepKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

// Labels grow to their caption, as they did where the layout was drawn.
void SetCaption(QLabel* label, const QString& text) {
    label->setText(text);
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
}

void ShowApplicationError(const std::string& message) {
    std::string text = message;
    if (text.empty() || text.back() != '.') text += '.';
    platform::ShowMessageBox(text, kTitle, platform::MessageBoxKind::Error);
}

std::unique_ptr<TMainFrm> CreateMainWindow(const std::string& appDir) {
    try {
        return std::make_unique<TMainFrm>(appDir);
    } catch (const std::exception& e) {
        ShowApplicationError(e.what());
        return nullptr;
    }
}

TMainFrm::TMainFrm(std::string appDir) : appDirGiven_(std::move(appDir)) {
    CreateControls();
    pacer_ = std::make_unique<ScreenPacer>(std::vector<QWidget*>{LogMem, ProgressBar}, [this] { FlushLog(); });
    CreateFtpClient();
    BindHandlers();
    FormCreate();
}

TMainFrm::~TMainFrm() = default;

// Raises "Winsock not found" when the sockets library cannot be loaded; the
// program then ends before the window is shown.
void TMainFrm::CreateFtpClient() {
    znFTP = new zn::TznFTP(&components_);
    znFTP->SetName("znFTP");
    znFTP->SetConnectBackAdvice("behind a router, set Passive=1 in dirweigh.ini");
    znFTP->SetWinsockLoaded(true);
    znFTP->SetDefaultPort(21);
    znFTP->SetServerType(zn::stAuto);
    znFTP->SetProxyType(zn::fpUserNoLogon);
    using namespace std::placeholders;
    znFTP->OnOpen = std::bind(&TMainFrm::znFTPOpen, this, _1);
    znFTP->OnConnected = std::bind(&TMainFrm::znFTPConnected, this, _1);
    znFTP->OnClosing = std::bind(&TMainFrm::znFTPClosing, this, _1);
    znFTP->OnClosed = std::bind(&TMainFrm::znFTPClosed, this, _1);
    znFTP->OnCancel = std::bind(&TMainFrm::znFTPCancel, this, _1);
    znFTP->OnLineSent = std::bind(&TMainFrm::znFTPLineSent, this, _1, _2);
    znFTP->OnLineReceived = std::bind(&TMainFrm::znFTPLineReceived, this, _1, _2);
    znFTP->OnTransferStart = std::bind(&TMainFrm::znFTPTransferStart, this, _1);
    znFTP->OnTransferProgress = std::bind(&TMainFrm::znFTPTransferProgress, this, _1, _2, _3);
    znFTP->OnSecured = std::bind(&TMainFrm::znFTPSecured, this, _1);
    znFTP->OnPlainLogon = std::bind(&TMainFrm::znFTPPlainLogon, this, _1);
    znFTP->SetPassiveFallback(true);
    znFTP->OnPassiveFallback = [this](zn::TObject*) { Log(znFTP->PassiveFallbackReason() + "."); };
    znFTP->OnUntrustedCertificate = std::bind(&TMainFrm::znFTPUntrustedCertificate, this, _1, _2, _3);
}

void TMainFrm::BindHandlers() {
    auto bind = [this](QPushButton* button, void (TMainFrm::*handler)()) {
        QObject::connect(button, &QPushButton::clicked, this,
                         [this, handler] { Handle([this, handler] { (this->*handler)(); }); });
    };
    bind(ConnectBtn, &TMainFrm::ConnectBtnClick);
    bind(DisconnectBtn, &TMainFrm::DisconnectBtnClick);
    bind(CancelBtn, &TMainFrm::CancelBtnClick);
    bind(GetSizeBtn, &TMainFrm::GetSizeBtnClick);
    bind(CloseBtn, &TMainFrm::CloseBtnClick);
    auto about = [this] { Handle([this] { AboutImgClick(); }); };
    AboutImg->installEventFilter(new ClickFilter(AboutImg, about));
    AboutLbl->installEventFilter(new ClickFilter(AboutLbl, about));
    BreakdownLbl->installEventFilter(new ClickFilter(BreakdownLbl, [this] { Handle([this] { ShowBreakdown(); }); }));
    LogMem->installEventFilter(new KeepKeys(LogMem));
}

void TMainFrm::Handle(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowApplicationError(e.what());
    }
}

void TMainFrm::FormCreate() {
    AppDir = appDirGiven_;
    if (AppDir.size() > 1 && AppDir.back() == '/') AppDir.pop_back();
    IniFileName = SettingsFile(AppDir);
    ReadMeFileName = ReadMeFile(AppDir);
    SetCaption(VersionLbl, "1.03 (24.11.2000)");
    SetCaption(BytesLbl, "0");
    SetCaption(MBLbl, "0");
    SetCaption(FilesLbl, "0");
}

void TMainFrm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    CentreOnScreen();
    Handle([this] { FormShow(); });
}

void TMainFrm::CentreOnScreen() {
    if (QScreen* where = screen()) move(where->availableGeometry().center() - frameGeometry().center() + pos());
}

void TMainFrm::FormShow() {
    LoadSettings();
    LogMem->clear();
    Status("");
    UpdateButtons();
}

// Quit while a connect or a walk waits further down the stack: closing now
// would hide the window while that work still unwinds and shows its boxes
// over nothing. So the close waits; the work is cancelled, unwinds as after
// Cancel with the window on screen, and the window closes when it is idle.
void TMainFrm::closeEvent(QCloseEvent* event) {
    if (Busy) {
        closeWhenIdle_ = true;
        event->ignore();
        Handle([this] { CancelBtnClick(); });
        return;
    }
    Handle([this] { FormClose(); });
    event->accept();
}

void TMainFrm::EndBusy() {
    Busy = false;
    UpdateButtons();
    pacer_->Stop();
    if (closeWhenIdle_) {
        closeWhenIdle_ = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

// The settings are saved first; a file that cannot be written is reported,
// and the window closes all the same, so the user is never stuck in it.
void TMainFrm::FormClose() {
    Handle([this] { SaveSettings(); });
    try {
        if (sftp_) {
            sftp_->Cancel();
            sftp_->Close();
        }
        znFTP->Cancel();
        znFTP->Close();
    } catch (const platform::Exception&) {
        // The connection ends with the program either way, so a failure
        // while closing it leaves the user nothing to do.
    }
}

// Enter presses the focused button, else "Connect" while it is enabled; Esc
// presses the first enabled cancel button, which is always "Quit".
void TMainFrm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else if (ConnectBtn->isEnabled()) {
            ConnectBtn->click();
        }
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        for (QPushButton* cancel : {CloseBtn, CancelBtn}) {
            if (cancel->isEnabled()) {
                cancel->click();
                break;
            }
        }
        return;
    }
    QWidget::keyPressEvent(event);
}

void TMainFrm::UpdateButtons() {
    const bool connected = Connected();
    ConnectBtn->setEnabled(!connected && !Busy);
    DisconnectBtn->setEnabled(connected && !Busy);
    CancelBtn->setEnabled(Busy);
    GetSizeBtn->setEnabled(connected && !Busy);
}

void TMainFrm::Status(const std::string& text) { StatusLbl->setText(QString::fromStdString(text)); }

void TMainFrm::ShowError(const std::string& message) {
    platform::ShowMessageBox("ERROR: " + message, kTitle, platform::MessageBoxKind::Plain);
}

void TMainFrm::Log(const std::string& text) {
    // Protocol text is bytes; only here does it become text for the eye.
    const QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (!pacer_ || !pacer_->Running()) {
        FlushLog();
        AppendToLog(line);
        return;
    }
    if (!pendingLog_.isEmpty()) pendingLog_ += '\n';
    pendingLog_ += line;
}

// The log keeps its last line in view as it grows, unless the user has
// scrolled up to read something.
void TMainFrm::AppendToLog(const QString& lines) {
    QScrollBar* bar = LogMem->verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    LogMem->appendPlainText(lines);
    if (following) bar->setValue(bar->maximum());
}

void TMainFrm::FlushLog() {
    if (pendingLog_.isEmpty()) return;
    AppendToLog(pendingLog_);
    pendingLog_.clear();
}

void TMainFrm::ConnectBtnClick() {
    LogMem->clear();
    if (ReadSftpUrl(FieldBytes(ServerEdt))) {
        ConnectSftp();
        return;
    }
    zn::TTlsMode tlsMode = IniTlsMode;
    const std::string server = ServerToReach(tlsMode);
    zn::ConnectionProfile profile = zn::ProfileOf(*znFTP);
    profile.Server = server;
    profile.UserName = FieldBytes(UserEdt);
    profile.Password = FieldBytes(PasswordEdt);
    profile.Passive = IniPassive;
    profile.TlsMode = tlsMode;
    profile.TrustedFingerprint = TrustedFingerprintFor(server);
    const zn::UrlScheme scheme = tlsMode == zn::tmImplicit ? zn::UrlScheme::Ftps : zn::UrlScheme::Ftp;
    zn::ExpectTlsIfRemembered(profile, IniTlsMemory(IniFileName), scheme);
    if (!IniProxyServer.empty()) {
        profile.Proxy = IniProxyServer;
        profile.UseProxy = true;
        if (IniProxyType == 1) profile.ProxyType = zn::fpProxyOpen;
    }
    zn::ApplyProfile(profile, *znFTP);
    Busy = true;
    UpdateButtons();
    try {
        // A server not remembered as speaking TLS only weakens the next
        // connect's check; the window says nothing of it.
        IniTlsMemory memory(IniFileName);
        zn::ConnectToSite(*znFTP, memory, {server, scheme, FieldBytes(StartUpDirEdt)}, {});
    } catch (const platform::Exception& e) {
        ShowError(e.Message());
    }
    EndBusy();
}

void TMainFrm::DisconnectBtnClick() {
    Busy = true;
    UpdateButtons();
    if (SftpConnected()) {
        DisconnectSftp();
        EndBusy();
        return;
    }
    try {
        znFTP->Disconnect();
    } catch (const platform::Exception&) {
        // A refused QUIT or a connection already lost: the buttons, which
        // follow the connection, show what is left, and there is nothing
        // more the user can do about it than press Disconnect again.
    }
    EndBusy();
}

void TMainFrm::CancelBtnClick() {
    if (sftp_) sftp_->Cancel();
    if (sftpRun_) sftpRun_->Cancel();
    try {
        znFTP->Cancel();
        // A fast walk may be waiting on any of its connections.
        if (siteRun_) siteRun_->CancelFurther();
    } catch (const platform::Exception&) {
        // Cancel only closes; the operation it interrupts reports its own
        // end in its handler, so a second message would say it twice.
    }
}

void TMainFrm::CloseBtnClick() { close(); }

void TMainFrm::AboutImgClick() { ShellOpen(ReadMeFileName); }

void TMainFrm::znFTPOpen(zn::TObject*) { Status("Connecting..."); }
void TMainFrm::znFTPConnected(zn::TObject*) { Status("Connected."); }
void TMainFrm::znFTPClosing(zn::TObject*) { Status("Disconnecting..."); }
void TMainFrm::znFTPClosed(zn::TObject*) { Status("Disconnected."); }
void TMainFrm::znFTPCancel(zn::TObject*) { Status("Transfer aborted."); }

// The password never reaches the screen.
void TMainFrm::znFTPLineSent(zn::TObject*, const std::string& TheLine) { Log(zn::ShownCommand(TheLine)); }

void TMainFrm::znFTPLineReceived(zn::TObject*, const std::string& TheLine) { Log(" " + TheLine); }

void TMainFrm::znFTPTransferStart(zn::TObject*) { ProgressBar->setValue(0); }

void TMainFrm::znFTPSecured(zn::TObject*) { Log(znFTP->TlsSummary()); }

// The bar counts listing bytes up to its maximum of 100.
void TMainFrm::znFTPTransferProgress(zn::TObject*, std::int32_t, std::int32_t Transferred) {
    ProgressBar->setValue(std::clamp(Transferred, 0, ProgressBar->maximum()));
}
