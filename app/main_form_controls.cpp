// SPDX-License-Identifier: MIT
// The controls of the window with their captions, geometry (left, top,
// width, height inside their container) and roles.

#include "app/about_icon.h"
#include "app/group_box_style.h"
#include "app/main_form.h"

#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

// Stands in for the 8-point "MS Sans Serif": a sans-serif face whose
// characters are 11 pixels high at 96 dpi.
QFont WindowFont() {
    QFont font("Liberation Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

QGroupBox* GroupBox(QWidget* parent, const char* caption, int x, int y, int w, int h) {
    auto* box = new QGroupBox(caption, parent);
    box->setStyle(GroupBoxStyle::Instance());
    box->setGeometry(x, y, w, h);
    return box;
}

// Labels size themselves to their caption, as they did where the layout was
// drawn, so no caption is ever clipped; the given width is the least.
QLabel* Label(QWidget* parent, const char* caption, int x, int y, int w, int h) {
    auto* label = new QLabel(caption, parent);
    label->setGeometry(x, y, std::max(w, label->sizeHint().width()), h);
    return label;
}

QLineEdit* Edit(QWidget* parent, int x, int y, int w, int h) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(x, y, w, h);
    return edit;
}

QPushButton* Button(QWidget* parent, const char* caption, int x, int y, int w, int h) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(x, y, w, h);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

void TMainFrm::CreateControls() {
    setWindowTitle("DirWeigh");
    QIcon icon;
    for (int size : {16, 32, 48}) icon.addPixmap(AboutIcon(size));
    setWindowIcon(QIcon::fromTheme("dirweigh", icon));
    setFont(WindowFont());
    setFixedSize(408, 399);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    CreateAboutBox();
    CreateServerBox();
    CreateInfoBox();
    CreateStatusBox();
    ConnectBtn = Button(this, "&Connect", 8, 368, 75, 25);
    ConnectBtn->setDefault(true);
    DisconnectBtn = Button(this, "&Disconnect", 88, 368, 75, 25);
    CancelBtn = Button(this, "C&ancel", 168, 368, 75, 25);
    GetSizeBtn = Button(this, "&Get Size", 248, 368, 75, 25);
    CloseBtn = Button(this, "&Quit", 328, 368, 75, 25);
    SetTabOrder();
}

void TMainFrm::CreateAboutBox() {
    GroupBox4 = GroupBox(this, "About this program", 8, 8, 393, 73);
    AboutImg = new QLabel(GroupBox4);
    AboutImg->setPixmap(AboutIcon());
    AboutImg->setGeometry(8, 16, 32, 32);
    AboutImg->setCursor(Qt::PointingHandCursor);
    Label5 = Label(GroupBox4, "DirWeigh", 48, 16, 59, 13);
    QFont bold = Label5->font();
    bold.setBold(true);
    Label5->setFont(bold);
    Label5->setGeometry(48, 16, std::max(59, Label5->sizeHint().width()), 13);
    VersionLbl = Label(GroupBox4, "", 48, 32, 49, 13);
    AboutLbl = Label(GroupBox4, "Read me", 104, 50, 56, 13);
    AboutLbl->setStyleSheet("color: blue; text-decoration: underline;");
    AboutLbl->setCursor(Qt::PointingHandCursor);
    Panel1 = new QFrame(GroupBox4);
    Panel1->setGeometry(176, 17, 2, 48);
    Panel1->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    Label6 = new QLabel(
        "Choose 'Connect', then 'Get Size' to get the size of your homepage. You can enter the subdirectory to "
        "start with if you like.",
        GroupBox4);
    Label6->setWordWrap(true);
    // As high as the wrapped hint needs, which the group box has room for.
    Label6->setGeometry(184, 16, 201, std::max(49, Label6->heightForWidth(201)));
    Label6->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TMainFrm::CreateServerBox() {
    GroupBox1 = GroupBox(this, "FTP-Server", 8, 88, 265, 121);
    Label1 = Label(GroupBox1, "&Server:", 8, 20, 34, 13);
    Label2 = Label(GroupBox1, "&Username:", 8, 44, 51, 13);
    Label3 = Label(GroupBox1, "&Password:", 8, 68, 49, 13);
    Label4 = Label(GroupBox1, "S&ubdir:", 8, 92, 33, 13);
    ServerEdt = Edit(GroupBox1, 64, 16, 193, 21);
    UserEdt = Edit(GroupBox1, 64, 40, 193, 21);
    PasswordEdt = Edit(GroupBox1, 64, 64, 193, 21);
    PasswordEdt->setEchoMode(QLineEdit::Password);
    PasswordEdt->setStyleSheet("lineedit-password-character: 42;");  // "*"
    StartUpDirEdt = Edit(GroupBox1, 64, 88, 193, 21);
    Label1->setBuddy(ServerEdt);
    Label2->setBuddy(UserEdt);
    Label3->setBuddy(PasswordEdt);
    Label4->setBuddy(StartUpDirEdt);
}

void TMainFrm::CreateInfoBox() {
    GroupBox2 = GroupBox(this, "Last Info retrieved", 280, 88, 121, 121);
    Label8 = Label(GroupBox2, "Size in Bytes:", 8, 16, 63, 13);
    BytesLbl = Label(GroupBox2, "", 16, 32, 100, 13);
    Label10 = Label(GroupBox2, "Size in Kilobytes:", 8, 48, 79, 13);
    MBLbl = Label(GroupBox2, "", 16, 64, 100, 13);
    Label12 = Label(GroupBox2, "Number of Files:", 8, 80, 76, 13);
    FilesLbl = Label(GroupBox2, "", 16, 96, 100, 13);
    BreakdownLbl = Label(GroupBox2, "Where is the space?", 8, 106, 105, 13);
    BreakdownLbl->setStyleSheet("color: blue; text-decoration: underline;");
    BreakdownLbl->setCursor(Qt::PointingHandCursor);
    BreakdownLbl->hide();  // until a walk has something to show
}

void TMainFrm::CreateStatusBox() {
    GroupBox3 = GroupBox(this, "Status", 8, 216, 393, 145);
    StatusLbl = new QLabel(GroupBox3);
    StatusLbl->setGeometry(8, 18, 129, 13);
    ProgressBar = new QProgressBar(GroupBox3);
    ProgressBar->setGeometry(144, 16, 241, 16);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    LogMem = new QPlainTextEdit(GroupBox3);
    LogMem->setGeometry(8, 40, 377, 97);
    LogMem->setReadOnly(true);
    // Long lines wrap: a horizontal scroll bar would cover the newest line.
    LogMem->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LogMem->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LogMem->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    LogMem->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
}

void TMainFrm::SetTabOrder() {
    QWidget* order[] = {ServerEdt,  UserEdt,       PasswordEdt, StartUpDirEdt, LogMem,
                        ConnectBtn, DisconnectBtn, CancelBtn,   GetSizeBtn,    CloseBtn};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}
