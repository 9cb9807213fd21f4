// The waits: a plain poll checks until the condition holds or the limit has passed; the Qt form
// delivers events meanwhile, and still sees a condition that no event announces.

#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <thread>

#include "support/doubles/headless_harness.h"

namespace {

using namespace std::chrono_literals;

TEST(WaitUntil, ChecksAgainUntilTheConditionHolds) {
    int checks = 0;
    EXPECT_TRUE(WaitUntil([&] { return ++checks == 3; }));
    EXPECT_EQ(checks, 3);
}

TEST(WaitUntil, GivesUpAfterTheLimitHavingCheckedMoreThanOnce) {
    int checks = 0;
    EXPECT_FALSE(WaitUntil([&] { return ++checks < 0; }, 20ms));
    EXPECT_GE(checks, 2);
}

TEST(WaitUntilProcessingEvents, DeliversQueuedEventsThatAPlainPollDoesNot) {
    EnsureQtApplication();
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    EXPECT_FALSE(WaitUntil([&] { return fired; }, 20ms));
    EXPECT_TRUE(WaitUntilProcessingEvents([&] { return fired; }));
}

TEST(WaitUntilProcessingEvents, SeesAConditionThatNoEventAnnounces) {
    EnsureQtApplication();
    std::atomic<bool> done{false};
    std::jthread other([&] { done.store(true); });
    EXPECT_TRUE(WaitUntilProcessingEvents([&] { return done.load(); }));
}

TEST(ProcessEventsFor, DeliversEventsDuringThePause) {
    EnsureQtApplication();
    int fired = 0;
    QTimer::singleShot(0, [&] { ++fired; });
    ProcessEventsFor(20ms);
    EXPECT_EQ(fired, 1);
}

}  // namespace
