// SPDX-License-Identifier: MIT
#include "net/core/time_counter.h"

#include "platform/messages.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace zn;
using Clock = std::chrono::steady_clock;

namespace {

double WaitUntilTimedOut(TTimeCounter& counter, double limitSeconds) {
    const auto start = Clock::now();
    while (!counter.TimedOut() && std::chrono::duration<double>(Clock::now() - start).count() < limitSeconds) {
        platform::WaitForNextEvent();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

TEST(TimeCounter, StartsIdleWithSixtySeconds) {
    TTimeCounter counter;
    EXPECT_EQ(counter.TimeOut(), 60);
    EXPECT_FALSE(counter.TimedOut());
    EXPECT_FALSE(counter.Running());
}

TEST(TimeCounter, TimeOutOfZeroEndsAfterAboutOneTickNotAtOnce) {
    TTimeCounter counter;
    counter.SetTimeOut(0);
    counter.Start();
    platform::ProcessMessages();
    EXPECT_FALSE(counter.TimedOut());
    const double elapsed = WaitUntilTimedOut(counter, 3);
    EXPECT_TRUE(counter.TimedOut());
    EXPECT_GT(elapsed, 0.8);
    EXPECT_LT(elapsed, 2.0);
    EXPECT_TRUE(counter.Running()) << "the timer runs on until Stop";
    counter.Stop();
    EXPECT_FALSE(counter.Running());
    EXPECT_TRUE(counter.TimedOut());
}

TEST(TimeCounter, TicksCountDownAndGoNegative) {
    TTimeCounter counter;
    counter.SetTimeOut(2);
    counter.Start();
    counter.Stop();  // ticks by hand from here
    counter.Tick();
    EXPECT_EQ(counter.Remaining(), 1);
    EXPECT_FALSE(counter.TimedOut());
    counter.Tick();
    EXPECT_TRUE(counter.TimedOut());
    counter.Tick();
    EXPECT_EQ(counter.Remaining(), -1);
}

TEST(TimeCounter, StartAfterATimeOutLeavesTimedOutSet) {
    TTimeCounter counter;
    counter.SetTimeOut(5);
    counter.Start();
    counter.Tick();
    counter.Tick();
    counter.Tick();
    counter.Tick();
    counter.Tick();
    ASSERT_TRUE(counter.TimedOut());
    counter.Start();
    EXPECT_EQ(counter.Remaining(), 5);
    EXPECT_TRUE(counter.TimedOut());
    counter.SetTimedOut(false);
    EXPECT_FALSE(counter.TimedOut());
    counter.Stop();
}

TEST(TimeCounter, StartWhileRunningGivesTheWholeTimeOutAgain) {
    // A tick left over from an earlier wait must not shorten the next one.
    TTimeCounter counter;
    counter.SetTimeOut(1);
    counter.Start();
    testsupport::RunEventLoopFor(0.7);
    ASSERT_FALSE(counter.TimedOut());
    counter.Start();
    const double elapsed = WaitUntilTimedOut(counter, 3);
    counter.Stop();
    EXPECT_TRUE(counter.TimedOut());
    EXPECT_GE(elapsed, 0.99) << "a time-out of 1 s ended early";
}
