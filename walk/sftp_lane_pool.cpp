// SPDX-License-Identifier: MIT
#include "walk/sftp_lane_pool.h"

#include "platform/exception.h"

#include <utility>

namespace zn {

SftpLanePool::SftpLanePool(const SftpConnection& first, SshTarget target, SshAnswers again, int timeOutSeconds)
    : target_(std::move(target)),
      again_(std::move(again)),
      timeOutSeconds_(timeOutSeconds),
      logonSeconds_(first.LogonSeconds()) {}

SftpChannel* SftpLanePool::OpenOne(const std::function<void()>& whileLoggingOn) {
    if (canceled_) return nullptr;
    auto lane = std::make_unique<SftpConnection>();
    opening_ = lane.get();
    stopped_ = false;
    SshSession& session = lane->Channel().Session();
    if (!waitForEach_) session.WhileWaiting(whileLoggingOn);
    try {
        lane->Open(target_, again_, timeOutSeconds_);
    } catch (const platform::Exception& e) {
        // Closed without the walk's work in its waits.
        session.WhileWaiting(nullptr);
        opening_ = nullptr;
        const bool asked = stopped_ || canceled_;
        if (again_.Step && !asked) again_.Step("SSH: one more connection did not log on: " + e.Message());
        return nullptr;
    }
    session.WhileWaiting(nullptr);
    opening_ = nullptr;
    logonSeconds_ = lane->LogonSeconds();
    if (again_.Step) again_.Step("SSH: one more connection logged on");
    lanes_.push_back(std::move(lane));
    return &lanes_.back()->Channel();
}

void SftpLanePool::StopOpening() {
    if (!opening_) return;
    stopped_ = true;
    opening_->Cancel();
}

void SftpLanePool::Cancel() {
    canceled_ = true;
    if (opening_) opening_->Cancel();
    for (const std::unique_ptr<SftpConnection>& lane : lanes_) lane->Cancel();
}

}  // namespace zn
