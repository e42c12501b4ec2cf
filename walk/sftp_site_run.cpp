// SPDX-License-Identifier: MIT
#include "walk/sftp_site_run.h"

#include <utility>

namespace zn {

SftpSiteRun::SftpSiteRun(SftpConnection& connection, WalkSessionObserver& observer, Settings settings)
    : connection_(connection),
      walker_(connection.Channel(), observer, std::move(settings.Rules), std::move(settings.Start), settings.InFlight) {
    // Requests as commands are shown, replies as replies: the front ends
    // tell them apart as they do an FTP walk's.
    walker_.OnDialogue = [&observer](bool sent, const std::string& line) {
        sent ? observer.LineSent("", line) : observer.LineReceived("", line);
    };
}

void SftpSiteRun::Connect(const SshTarget& target, const SshAnswers& answers, int timeOutSeconds) {
    connection_.Open(target, answers, timeOutSeconds);
}

}  // namespace zn
