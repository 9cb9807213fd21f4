// The real program on a private system bus: logind's coming-sleep notice ends it with the
// suspend broadcast in its log, after it let go of its sleep delay; a wake-up notice is only
// logged.

#include <gtest/gtest.h>

#include <QProcessEnvironment>

#include "logind_test_support.h"

namespace {

using namespace std::chrono_literals;

class AppSleepTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApplication();
        if (!bus.Running()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
        logind = std::make_unique<FakeLogind>(bus.Address());
        ASSERT_TRUE(logind->Registered());
        WriteWholeFile(work / "Debug", "");
    }
    void TearDown() override {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(5000);
        }
        logind.reset();
    }

    void StartProgram() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", QString::fromStdString(work.Path().string()));
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", bus.Address());
        environment.remove("DISPLAY");
        // Alone in its session: a copy running on the developer's session bus must not count.
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(work.Path().string()));
        app.setProcessEnvironment(environment);
        app.setWorkingDirectory(QString::fromStdString(work.Path().string()));
        app.start(LUMISIGHT_BINARY, {"--virtual-camera", "--pictures",
                                     QString::fromStdString((work / "Pictures").string())});
        ASSERT_TRUE(app.waitForStarted(10000));
        // The program asks for its sleep delay once its camera runs and it follows the notices.
        ASSERT_TRUE(WaitUntilProcessingEvents([&] { return logind->LockHeld(); }, 20s));
    }
    bool LogHas(const std::string& line) const {
        const std::vector<std::string> log = LogMessages(ReadWholeFile(work / "Message"));
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    PrivateSystemBus bus;
    std::unique_ptr<FakeLogind> logind;
    TempDir work;
    QProcess app;
};

TEST_F(AppSleepTest, ComingSleepEndsTheProgramAfterItClosedTheCamera) {
    StartProgram();
    logind->EmitPrepareForSleep(true);
    ASSERT_TRUE(
        WaitUntilProcessingEvents([&] { return app.state() == QProcess::NotRunning; }, 20s));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_TRUE(LogHas("WM_POWERBROADCAST 00000218 00000004"));
    EXPECT_FALSE(logind->LockHeld());
}

TEST_F(AppSleepTest, WakeUpIsOnlyLogged) {
    StartProgram();
    logind->EmitPrepareForSleep(false);
    ASSERT_TRUE(WaitUntilProcessingEvents(
        [&] { return LogHas("WM_POWERBROADCAST 00000218 00000007"); }, 10s));
    // Nothing announces that the program will not end: it is given time to do so wrongly.
    ProcessEventsFor(300ms);
    EXPECT_EQ(app.state(), QProcess::Running);
    EXPECT_TRUE(logind->LockHeld());
}

}  // namespace
