// SPDX-License-Identifier: MIT
#include "ftp/client/ftp.h"

#include "net/core/errors.h"
#include "net/core/message_table.h"

namespace zn {

TznFTP::TznFTP(platform::TComponent* owner) : TznSocket(owner), DirList_(std::make_unique<TznFTPDirList>()) {
    SetServiceName("ftp");
    SetDefaultPort(21);
}

TznFTP::~TznFTP() = default;

void TznFTP::SetProxy(const std::string& value) {
    if (!value.empty() && value.find(':') == std::string::npos) RaiseError(kMsgProxyPortRequired);
    Proxy_ = value;
}

void TznFTP::ResetState() {
    TznSocket::ResetState();
    Features_.reset();
    Epsv_ = Eprt_ = Extended::Unknown;
    Utf8_ = Utf8Switch::NotOffered;
    LoggedOn_ = false;
    Ahead_.clear();
}

void TznFTP::Open() {
    CheckServer();
    ResetState();
    TznSocket::Open();
}

void TznFTP::Logout() { Exchange("QUIT", Expect::Positive); }

void TznFTP::Disconnect() {
    if (!Connected()) return;
    Logout();
    Close();
}

void TznFTP::ChangeDir(const std::string& dir) { Exchange("CWD " + dir, Expect::Positive); }

void TznFTP::ChangeDirUp() { Exchange("CDUP", Expect::Positive); }

bool TznFTP::ChangeDirUpAndInto(const std::string& dir) {
    try {
        SendAhead("CDUP", Expect::Completion);
        SendAhead("CWD " + dir, Expect::Completion);
        if (ReceiveAhead() != Answer::AsExpected) {
            // The refused CDUP is what the user needs to see, once the
            // CWD's reply is read.
            const std::string refusal = LastReply();
            DrainAhead();
            throw EServerError(refusal);
        }
        return ReceiveAhead() == Answer::AsExpected;
    } catch (const platform::Exception&) {
        // Whatever failed, this call's commands are owed nothing more: no
        // later reader may take a reply as theirs.
        Ahead_.clear();
        throw;
    }
}

}  // namespace zn
