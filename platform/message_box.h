#pragma once

#include <functional>
#include <string>

namespace platform {

enum class MessageBoxKind { Plain, Error };

using MessageBoxHook =
    std::function<void(const std::string& text, const std::string& caption, MessageBoxKind kind)>;

// The program points the hook at real message boxes, tests at a recorder, so
// that no test ever waits on a modal box. Returns the previous hook.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows a modal box with an OK button through the hook; without a hook the
// text goes to standard error.
void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxKind kind);

}  // namespace platform
