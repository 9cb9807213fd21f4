// Sleep notices from a logind stand-in on a private system bus started by the test: the watch
// asks for a delay lock, reports PrepareForSleep, and lets go of the lock when it ends; in the
// window a coming sleep ends the dialog.

#include <gtest/gtest.h>

#include "linux/desktop/logind_power.h"
#include "logind_test_support.h"

namespace {

class LogindPowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApplication();
        if (!bus.Running()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
        logind = std::make_unique<FakeLogind>(bus.Address());
        ASSERT_TRUE(logind->Registered());
    }
    void TearDown() override { logind.reset(); }

    PrivateSystemBus bus;
    std::unique_ptr<FakeLogind> logind;
};

TEST_F(LogindPowerTest, WatchReportsSleepAndWakeAndHoldsADelayLockUntilItEnds) {
    std::vector<bool> notices;
    std::unique_ptr<PowerWatch> watch =
        WatchLogindSleep([&](bool suspending) { notices.push_back(suspending); });
    ASSERT_NE(watch, nullptr);
    ASSERT_TRUE(WaitUntilProcessingEvents([&] { return logind->LockHeld(); }));
    const QVariantList& arguments = logind->InhibitArguments();
    ASSERT_EQ(arguments.size(), 4);
    EXPECT_EQ(arguments[0].toString(), "sleep");
    EXPECT_EQ(arguments[3].toString(), "delay");

    logind->EmitPrepareForSleep(true);
    ASSERT_TRUE(WaitUntilProcessingEvents([&] { return notices.size() == 1; }));
    logind->EmitPrepareForSleep(false);
    ASSERT_TRUE(WaitUntilProcessingEvents([&] { return notices.size() == 2; }));
    EXPECT_EQ(notices, (std::vector<bool>{true, false}));
    EXPECT_TRUE(logind->LockHeld());

    watch.reset();
    EXPECT_FALSE(logind->LockHeld());
}

TEST_F(LogindPowerTest, ComingSleepEndsTheRunningWindowAndTheLockGoesWithTheCamera) {
    LogindPowerNotices power;
    V4l2WindowFixture fixture(V4l2WindowFixture::VirtualOnly(), &power);
    ASSERT_TRUE(fixture.harness.Start(*fixture.dialog));
    CWebcamDlg& dialog = *fixture.dialog;
    ASSERT_TRUE(WaitUntilProcessingEvents([&] { return logind->LockHeld(); }));

    logind->EmitPrepareForSleep(false);
    ASSERT_TRUE(WaitUntilProcessingEvents(
        [&] { return fixture.LogHas("WM_POWERBROADCAST 00000218 00000007"); }));
    EXPECT_FALSE(dialog.IsEnded());

    logind->EmitPrepareForSleep(true);
    ASSERT_TRUE(WaitUntilProcessingEvents([&] { return dialog.IsEnded(); }));
    EXPECT_EQ(dialog.Result(), 4);
    EXPECT_TRUE(fixture.LogHas("WM_POWERBROADCAST 00000218 00000004"));
    // The sleep still waits: the camera is open until the window is destroyed.
    EXPECT_TRUE(logind->LockHeld());
    fixture.harness.Stop();
    EXPECT_EQ(dialog.m_pGraph, nullptr);
    EXPECT_FALSE(logind->LockHeld());
}

TEST(LogindPowerWithoutBusTest, NoSystemBusMeansNoNoticesAndNoError) {
    EnsureQtApplication();
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/lumisight-no-bus", 1);
    std::unique_ptr<PowerWatch> watch = WatchLogindSleep([](bool) {});
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    EXPECT_EQ(watch, nullptr);
}

}  // namespace
