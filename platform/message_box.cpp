// SPDX-License-Identifier: MIT
#include "platform/message_box.h"

#include <cstdio>
#include <utility>

namespace platform {
namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

QuestionHook& Question() {
    static QuestionHook hook;
    return hook;
}

SecretHook& Secret() {
    static SecretHook hook;
    return hook;
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) { return std::exchange(Hook(), std::move(hook)); }

void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxKind kind) {
    if (Hook()) {
        Hook()(text, caption, kind);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

QuestionHook SetQuestionHook(QuestionHook hook) { return std::exchange(Question(), std::move(hook)); }

bool AskQuestion(const std::string& text, const std::string& caption) {
    if (Question()) return Question()(text, caption);
    std::fprintf(stderr, "%s: %s (no)\n", caption.c_str(), text.c_str());
    return false;
}

SecretHook SetSecretHook(SecretHook hook) { return std::exchange(Secret(), std::move(hook)); }

std::optional<std::string> AskSecret(const std::string& text, const std::string& caption) {
    if (Secret()) return Secret()(text, caption);
    std::fprintf(stderr, "%s: %s (none)\n", caption.c_str(), text.c_str());
    return std::nullopt;
}

}  // namespace platform
