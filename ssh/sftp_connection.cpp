// SPDX-License-Identifier: MIT
#include "ssh/sftp_connection.h"

namespace zn {

void SftpConnection::Open(const SshTarget& target, const SshAnswers& answers, int timeOutSeconds) {
    ssh_.SetTimeOut(timeOutSeconds);
    ConnectAndLogOn(ssh_, target, answers);
    channel_.Open();
    open_ = true;
}

// The channel goes before the session that carries it.
void SftpConnection::Close() {
    open_ = false;
    channel_.Close();
    ssh_.Close();
}

}  // namespace zn
