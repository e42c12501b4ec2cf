// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
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

}  // namespace platform
