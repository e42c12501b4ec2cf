// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Hidden windows and their messages on top of the Qt event loop of the main
// thread. Components keep the shape they have on a platform with window
// messages: a handle, a handler, posted messages and a loop that processes
// them.
namespace platform {

using HWND = std::uintptr_t;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_USER = 1024;

using WindowProc = std::function<LRESULT(UINT msg, WPARAM wParam, LPARAM lParam)>;

// Creates a hidden window whose messages go to `proc`. Never returns 0.
HWND CreateHiddenWindow(WindowProc proc);
// Later messages for the window, posted or not yet delivered, are dropped.
void DestroyWindow(HWND window);
bool IsWindow(HWND window);

// Queues a message for the window; safe from any thread. False when the
// window does not exist.
bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Calls the window's handler at once, on the calling (main) thread.
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// What a handler returns for messages it does not handle.
LRESULT DefWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// Same number for the same name, case-insensitively, from 0xC000 up.
UINT RegisterWindowMessage(const std::string& name);

// Runs `fn` on the main thread while messages are processed; safe from any
// thread. An exception from `fn` reaches the caller of ProcessMessages.
void PostCallback(std::function<void()> fn);

// Processes every pending event of the main thread and returns without
// waiting. An exception thrown by a handler meanwhile is rethrown here.
void ProcessMessages();

// Blocks until at least one event arrives, then processes what is pending.
// Every wait of the components ends its round here, so none of them spins.
void WaitForNextEvent();

// Wraps a callable that Qt will invoke (a timer, a socket notifier) so that an
// exception it throws never crosses Qt's frames: it is kept and rethrown by
// the ProcessMessages or WaitForNextEvent that was running.
std::function<void()> Guarded(std::function<void()> fn);

// Chooses Qt's own event loop over its GLib-based one; call before the
// application object is created.
void PreferPlainEventLoop();

// Makes sure a Qt application object exists (tests and tools without a
// window create a core application).
void EnsureApplication();

}  // namespace platform
