// SPDX-License-Identifier: MIT
#pragma once

#include "ftp/client/ftp.h"
#include "net/core/errors.h"
#include "tests/fakes/scripted_server.h"
#include "tests/support/errors.h"
#include "tests/support/site_tree.h"
#include "tests/support/wait.h"

using testsupport::MessageOf;

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

namespace testsupport {

// A parsed listing in the form SiteTree::Entries gives: name -> kind and size.
inline std::map<std::string, TreeEntry> Listed(const zn::TznFTPDirList& list) {
    std::map<std::string, TreeEntry> entries;
    for (int i = 0; i < list.Count(); ++i) {
        const zn::TznFTPDirEntry& e = list.Items(i);
        EXPECT_TRUE(e.Kind == zn::dkFile || e.Kind == zn::dkDirectory) << e.Name;
        entries[e.Name] = {e.Kind == zn::dkDirectory,
                           e.Kind == zn::dkDirectory ? 0 : static_cast<std::uintmax_t>(e.Size)};
    }
    return entries;
}

}  // namespace testsupport

// An FTP client with every event recorded, in the order they fire.
class FtpTest : public ::testing::Test {
protected:
    void SetUp() override {
        ftp_ = new zn::TznFTP(&owner_);
        ftp_->SetWinsockLoaded(true);
        ftp_->SetTimeOut(2);
        ftp_->SetUserName("user");
        ftp_->SetPassword("secret");
        ftp_->OnOpen = [this](zn::TObject*) { events_.push_back("OnOpen"); };
        ftp_->OnConnected = [this](zn::TObject*) { events_.push_back("OnConnected"); };
        ftp_->OnClosing = [this](zn::TObject*) { events_.push_back("OnClosing"); };
        ftp_->OnClosed = [this](zn::TObject*) { events_.push_back("OnClosed"); };
        ftp_->OnCancel = [this](zn::TObject*) { events_.push_back("OnCancel"); };
        ftp_->OnError = [this](zn::TObject*, std::string& msg) { events_.push_back("OnError " + msg); };
        ftp_->OnLineReceived = [this](zn::TObject*, const std::string& l) { events_.push_back("< " + l); };
        ftp_->OnLineSent = [this](zn::TObject*, const std::string& l) { events_.push_back("> " + l); };
        ftp_->OnTransferStart = [this](zn::TObject*) { events_.push_back("OnTransferStart"); };
        ftp_->OnTransferEnd = [this](zn::TObject*) { events_.push_back("OnTransferEnd"); };
        ftp_->OnTransferProgress = [this](zn::TObject*, std::int32_t perc, std::int32_t transferred) {
            progress_.push_back({perc, transferred});
            events_.push_back("OnTransferProgress");
        };
    }

    void TearDown() override { ftp_->Cancel(); }

    // The usual logon, as a script prefix.
    static testsupport::ScriptedServer& Logon(testsupport::ScriptedServer& server) {
        return server.Reply("220 Ready").Receive().Reply("331 Password please").Receive().Reply("230 Logged in");
    }

    void ConnectTo(testsupport::ScriptedServer& server) {
        server.Start();
        ftp_->SetServer(server.Address());
        ftp_->Connect();
        events_.clear();
        progress_.clear();
    }

    platform::TComponent owner_{nullptr};
    zn::TznFTP* ftp_ = nullptr;
    Lines events_;
    std::vector<std::pair<std::int32_t, std::int32_t>> progress_;
};
