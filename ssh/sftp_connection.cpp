// SPDX-License-Identifier: MIT
#include "ssh/sftp_connection.h"

#include <chrono>

namespace zn {

void SftpConnection::Open(const SshTarget& target, const SshAnswers& answers, int timeOutSeconds) {
    ssh_.SetTimeOut(timeOutSeconds);
    const auto started = std::chrono::steady_clock::now();
    ConnectAndLogOn(ssh_, target, answers);
    channel_.Open();
    logonSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    open_ = true;
}

// The channel goes before the session that carries it.
void SftpConnection::Close() {
    open_ = false;
    channel_.Close();
    ssh_.Close();
}

}  // namespace zn
