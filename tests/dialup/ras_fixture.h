// SPDX-License-Identifier: MIT
#pragma once

#include "dialup/ras.h"
#include "dialup/ras_error.h"
#include "net/core/errors.h"
#include "platform/message_box.h"
#include "platform/modules.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The dial-up component over the scriptable test library, with its calls
// counted, its notifications and message boxes recorded.
class RasTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetLibraryDirectoryForTesting(RAS_DOUBLE_DIR, /*only=*/false);
        double_ = platform::LoadLibrary("rasapi32.dll");
        ASSERT_NE(double_, 0u) << "the test library is missing";
        Call<void (*)()>("RasDouble_Reset")();
        previousHook_ = platform::SetMessageBoxHook(
            [this](const std::string& text, const std::string&, platform::MessageBoxKind) { boxes_.push_back(text); });
    }

    void TearDown() override {
        platform::SetMessageBoxHook(previousHook_);
        platform::FreeLibrary(double_);
        platform::SetLibraryDirectoryForTesting(std::nullopt);
    }

    template <typename Fn>
    Fn Call(const char* name) {
        return reinterpret_cast<Fn>(platform::GetProcAddress(double_, name));
    }
    void AddEntry(const char* name, bool passwordStored = false) {
        Call<void (*)(const char*, int)>("RasDouble_AddEntry")(name, passwordStored);
    }
    void AddConnection(const char* entry, int handle, const char* ip = "") {
        Call<void (*)(const char*, int, const char*)>("RasDouble_AddConnection")(entry, handle, ip);
    }
    void ScriptDial(std::vector<ras::DWORD> states, ras::DWORD error, bool connects) {
        Call<void (*)(const ras::DWORD*, int, ras::DWORD, int)>("RasDouble_ScriptDial")(
            states.data(), static_cast<int>(states.size()), error, connects);
    }
    void Fail(const char* function, ras::DWORD error) {
        Call<void (*)(const char*, ras::DWORD)>("RasDouble_Fail")(function, error);
    }
    int Calls(const char* function) { return Call<int (*)(const char*)>("RasDouble_Calls")(function); }
    std::vector<ras::HRASCONN> HangUps() {
        ras::HRASCONN handles[16];
        int n = Call<int (*)(ras::HRASCONN*, int)>("RasDouble_HangUps")(handles, 16);
        return std::vector<ras::HRASCONN>(handles, handles + std::min(n, 16));
    }

    // A component made after the phonebook is filled, as on a real machine.
    zn::TznRas& Ras() {
        if (!ras_) {
            ras_ = new zn::TznRas(&owner_);
            ras_->SetTimeOut(2);
            ras_->OnStatusChange = [this](zn::TObject*, const std::string& text) {
                events_.push_back("status " + text);
            };
            ras_->OnDisconnected = [this](zn::TObject*) { events_.push_back("OnDisconnected"); };
        }
        return *ras_;
    }

    platform::HMODULE double_ = 0;
    platform::TComponent owner_{nullptr};
    zn::TznRas* ras_ = nullptr;
    std::vector<std::string> events_;
    std::vector<std::string> boxes_;
    platform::MessageBoxHook previousHook_;
};
