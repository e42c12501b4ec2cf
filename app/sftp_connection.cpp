// SPDX-License-Identifier: MIT
#include "app/sftp_connection.h"

#include "net/core/text_helpers.h"

std::optional<SftpUrl> ReadSftpUrl(const std::string& typed) {
    const std::string scheme = "sftp://";
    if (zn::LowerCase(typed.substr(0, scheme.size())) != scheme) return std::nullopt;
    const std::string rest = typed.substr(scheme.size());
    const std::size_t slash = rest.find('/');
    SftpUrl url;
    std::string authority = rest.substr(0, slash);
    if (slash != std::string::npos) url.Path = rest.substr(slash + 1);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        url.User = authority.substr(0, at);
        authority.erase(0, at + 1);
    }
    url.Server = authority;
    return url;
}

SftpConnection::~SftpConnection() { Close(); }

void SftpConnection::Open(const zn::SshTarget& target, const zn::SshAnswers& answers, int timeOutSeconds) {
    Close();
    ssh_ = std::make_unique<zn::SshSession>();
    ssh_->SetTimeOut(timeOutSeconds);
    try {
        zn::ConnectAndLogOn(*ssh_, target, answers);
        auto channel = std::make_unique<zn::SftpChannel>(*ssh_);
        channel->Open();
        channel_ = std::move(channel);
    } catch (...) {
        Close();
        throw;
    }
}

void SftpConnection::Cancel() {
    if (ssh_) ssh_->Cancel();
}

void SftpConnection::Close() {
    if (channel_) channel_->Close();
    channel_.reset();
    if (ssh_) ssh_->Close();
    ssh_.reset();
}
