// SPDX-License-Identifier: MIT
#include "walk/sftp_site_run.h"

#include "ssh/ssh_answer_memory.h"

#include <utility>

namespace zn {

SftpSiteRun::SftpSiteRun(SftpConnection& connection, WalkSessionObserver& observer, Settings settings)
    : connection_(connection),
      connections_(settings.Connections),
      furtherAtOnce_(settings.FurtherAtOnce),
      walker_(connection.Channel(), observer, std::move(settings.Rules), std::move(settings.Start), settings.InFlight) {
    // Requests as commands are shown, replies as replies: the front ends
    // tell them apart as they do an FTP walk's.
    walker_.OnDialogue = [&observer](bool sent, const std::string& line) {
        sent ? observer.LineSent("", line) : observer.LineReceived("", line);
    };
}

void SftpSiteRun::Connect(const SshTarget& target, const SshAnswers& answers, int timeOutSeconds) {
    const SshAnswerMemory memory(answers);
    connection_.Open(target, memory.First(), timeOutSeconds);
    AllowFurther(target, memory.Again(), timeOutSeconds);
}

void SftpSiteRun::AllowFurther(const SshTarget& target, const SshAnswers& again, int timeOutSeconds) {
    if (connections_ < 2) return;
    further_ = std::make_unique<SftpLanePool>(connection_, target, again, timeOutSeconds);
    if (furtherAtOnce_) further_->WaitForEachLogon();
    walker_.SetFurtherLanes(further_.get(), connections_, furtherAtOnce_);
}

void SftpSiteRun::Cancel() {
    connection_.Cancel();
    if (further_) further_->Cancel();
}

}  // namespace zn
