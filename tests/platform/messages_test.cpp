// SPDX-License-Identifier: MIT
#include "platform/messages.h"
#include "platform/timer.h"
#include "tests/support/cpu_time.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <stdexcept>
#include <vector>

using namespace platform;

namespace {

struct Recorder {
    std::vector<UINT> messages;
    HWND window = CreateHiddenWindow([this](UINT msg, WPARAM, LPARAM) -> LRESULT {
        messages.push_back(msg);
        return 0;
    });
    ~Recorder() { DestroyWindow(window); }
};

}  // namespace

TEST(HiddenWindows, PostedMessagesArriveInOrderOnlyWhenProcessed) {
    Recorder r;
    PostMessage(r.window, WM_USER + 1, 0, 0);
    PostMessage(r.window, WM_USER + 2, 0, 0);
    PostMessage(r.window, WM_USER + 3, 0, 0);
    EXPECT_TRUE(r.messages.empty());
    ProcessMessages();
    EXPECT_EQ(r.messages, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3}));
}

// A handler that runs a loop of its own (a modal box) while messages are
// processed must still get what is posted meanwhile, and the waits that
// follow must too.
TEST(HiddenWindows, MessagesPostedInsideANestedLoopReachIt) {
    Recorder r;
    bool nestedSaw = false;
    PostCallback([&] {
        QEventLoop nested;
        PostMessage(r.window, WM_USER + 1, 0, 0);
        PostCallback([&] {
            nestedSaw = !r.messages.empty();
            nested.quit();
        });
        QTimer::singleShot(2000, &nested, &QEventLoop::quit);
        nested.exec();
    });
    ProcessMessages();
    EXPECT_TRUE(nestedSaw);
    PostMessage(r.window, WM_USER + 2, 0, 0);
    WaitForNextEvent();
    EXPECT_EQ(r.messages, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
}

TEST(HiddenWindows, MessagesForADestroyedWindowAreDropped) {
    std::vector<UINT> seen;
    HWND window = CreateHiddenWindow([&](UINT msg, WPARAM, LPARAM) -> LRESULT {
        seen.push_back(msg);
        return 0;
    });
    PostMessage(window, WM_USER, 0, 0);
    DestroyWindow(window);
    ProcessMessages();
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(PostMessage(window, WM_USER, 0, 0));
}

TEST(HiddenWindows, HandlesAreDistinctAndParametersArrive) {
    WPARAM gotW = 0;
    LPARAM gotL = 0;
    HWND a = CreateHiddenWindow([&](UINT, WPARAM w, LPARAM l) -> LRESULT {
        gotW = w;
        gotL = l;
        return 7;
    });
    Recorder b;
    EXPECT_NE(a, b.window);
    EXPECT_EQ(SendMessage(a, 1, 42, -5), 7);
    EXPECT_EQ(gotW, 42u);
    EXPECT_EQ(gotL, -5);
    DestroyWindow(a);
}

TEST(HiddenWindows, ExceptionFromHandlerReachesCallerAndLaterMessagesSurvive) {
    std::vector<UINT> seen;
    HWND window = CreateHiddenWindow([&](UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == 2) throw std::runtime_error("from the handler");
        seen.push_back(msg);
        return 0;
    });
    PostMessage(window, 1, 0, 0);
    PostMessage(window, 2, 0, 0);
    PostMessage(window, 3, 0, 0);
    try {
        ProcessMessages();
        FAIL() << "the handler's exception did not arrive";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "from the handler");
    }
    // Nothing ran after the throw before the caller heard of it...
    EXPECT_EQ(seen, std::vector<UINT>{1});
    // ...and nothing was lost either.
    ProcessMessages();
    EXPECT_EQ(seen, (std::vector<UINT>{1, 3}));
    DestroyWindow(window);
}

TEST(HiddenWindows, RegisteredMessagesAreStableAndCaseInsensitive) {
    UINT a = RegisterWindowMessage("RASDIALEVENT");
    UINT b = RegisterWindowMessage("rasdialevent");
    UINT c = RegisterWindowMessage("SomethingElse");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_GE(a, 0xC000u);
    EXPECT_GE(c, 0xC000u);
}

TEST(WaitForNextEvent, BlocksWithoutBurningTheProcessor) {
    Recorder r;
    QTimer::singleShot(1500, [&] { PostMessage(r.window, WM_USER, 0, 0); });
    const double cpuBefore = testsupport::ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    while (r.messages.empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
        WaitForNextEvent();
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = testsupport::ProcessCpuSeconds() - cpuBefore;
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_GE(elapsed, 1.4);
    EXPECT_LT(cpu, 0.15);
}

TEST(PeriodicTimer, TicksOnlyThroughTheLoopAndStopsWhenDisabled) {
    int ticks = 0;
    PeriodicTimer timer(20, [&] { ++ticks; });
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    const auto start = std::chrono::steady_clock::now();
    while (ticks < 2 && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) WaitForNextEvent();
    EXPECT_GE(ticks, 2);
    timer.SetEnabled(false);
    const int stoppedAt = ticks;
    bool later = false;
    QTimer::singleShot(100, [&] { later = true; });
    while (!later) WaitForNextEvent();
    EXPECT_EQ(ticks, stoppedAt);
}

TEST(PeriodicTimer, ExceptionFromATickReachesTheWaiter) {
    PeriodicTimer timer(10, [] { throw std::logic_error("tick failed"); });
    timer.SetEnabled(true);
    EXPECT_THROW(
        {
            for (int i = 0; i < 100; ++i) WaitForNextEvent();
        },
        std::logic_error);
}
