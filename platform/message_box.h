// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

enum class MessageBoxKind { Plain, Error };

using MessageBoxHook = std::function<void(const std::string& text, const std::string& caption, MessageBoxKind kind)>;

// The program points the hook at real message boxes, tests at a recorder, so
// that no test ever waits on a modal box. Returns the previous hook.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows a modal box with an OK button through the hook; without a hook the
// text goes to standard error.
void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxKind kind);

// A question with Yes and No buttons, No the default, through its own hook;
// true for Yes. Without a hook the text goes to standard error and the
// answer is No.
using QuestionHook = std::function<bool(const std::string& text, const std::string& caption)>;
QuestionHook SetQuestionHook(QuestionHook hook);
bool AskQuestion(const std::string& text, const std::string& caption);

// A question whose answer is a secret (a key's passphrase): typed where it
// does not show, OK or Cancel, through its own hook; nothing for Cancel.
// Without a hook the text goes to standard error and the answer is
// nothing.
using SecretHook = std::function<std::optional<std::string>(const std::string& text, const std::string& caption)>;
SecretHook SetSecretHook(SecretHook hook);
std::optional<std::string> AskSecret(const std::string& text, const std::string& caption);

}  // namespace platform
