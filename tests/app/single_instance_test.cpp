// The application object's one-copy rule: the session's claim comes first; the window title
// decides only where there is no session bus; a request from another copy brings the window
// forward with that copy's token.
#include <gtest/gtest.h>

#include "app/user_messages.h"
#include "app/webcam_app.h"
#include "support/doubles/fake_single_instance.h"
#include "support/webcam_fixture.h"

namespace {

class SingleInstanceTest : public ::testing::Test, public WebcamFixture {
protected:
    bool Contains(const std::vector<std::string>& searches, const std::string& title) const {
        return std::find(searches.begin(), searches.end(), title) != searches.end();
    }
};

TEST_F(SingleInstanceTest, TheClaimDecidesAndTheTitleOnlyWithoutABus) {
    const struct {
        const char* what;
        InstanceClaim outcome;
        bool windowRuns;
        bool titleSearched;
    } cases[] = {
        {"this copy owns the name", InstanceClaim::Claimed, true, false},
        {"another copy owns it and came forward", InstanceClaim::Running, false, false},
        {"no session bus: the running copy's window counts", InstanceClaim::NoBus, false, true},
        {"the bus did not answer: start alone", InstanceClaim::Undecided, true, false},
    };
    // A window with the program's title, as a running copy's on the same X display.
    const WindowRef running = harness.Windows().AddWindow(kWindowTitle);
    for (const auto& c : cases) {
        const int runsBefore = harness.Loop().RunCount();
        const int devicesBefore = media.record.openedDevices;
        const std::size_t raisedBefore = harness.Windows().BroughtToFront().size();
        FakeSingleInstance instance({c.outcome, "no answer"});
        environment.singleInstance = &instance;
        harness.Windows().ClearSearches();

        EXPECT_FALSE(CWebcamApp(environment).InitInstance()) << c.what;
        EXPECT_EQ(instance.claims, 1) << c.what;
        EXPECT_EQ(harness.Loop().RunCount() - runsBefore, c.windowRuns ? 1 : 0) << c.what;
        EXPECT_EQ(media.record.openedDevices > devicesBefore, c.windowRuns) << c.what;
        EXPECT_EQ(Contains(harness.Windows().Searches(), kWindowTitle), c.titleSearched) << c.what;
        const auto& raised = harness.Windows().BroughtToFront();
        EXPECT_EQ(raised.size() - raisedBefore, c.titleSearched ? 1u : 0u) << c.what;
        if (c.titleSearched && !raised.empty()) {
            EXPECT_EQ(raised.back(), running) << c.what;
        }
    }
    EXPECT_TRUE(harness.MessageBoxes().Shown().empty());
}

TEST_F(SingleInstanceTest, ACopyThatEndsForTheRunningOneTouchesNoFile) {
    EnableLog();
    FakeSingleInstance instance({InstanceClaim::Running, {}});
    environment.singleInstance = &instance;
    EXPECT_FALSE(CWebcamApp(environment).InitInstance());
    EXPECT_EQ(media.record.openedDevices, 0);
    EXPECT_TRUE(harness.Windows().Searches().empty());  // not even the Amcap rule
    EXPECT_FALSE(std::filesystem::exists(WorkDir() / "Message"));
    EXPECT_FALSE(std::filesystem::exists(WorkDir() / "FileList.txt"));
    EXPECT_TRUE(std::filesystem::is_empty(PicturesDir()));
}

TEST_F(SingleInstanceTest, TheAmcapRuleStillHoldsForTheOwner) {
    harness.Windows().AddWindow(kAmcapTitle);
    FakeSingleInstance instance({InstanceClaim::Claimed, {}});
    environment.singleInstance = &instance;
    EXPECT_FALSE(CWebcamApp(environment).InitInstance());
    ASSERT_EQ(harness.MessageBoxes().Shown().size(), 1u);
    EXPECT_EQ(harness.MessageBoxes().Shown()[0].text, kCloseAmcap);
    EXPECT_EQ(harness.Loop().RunCount(), 0);
}

TEST_F(SingleInstanceTest, AnotherCopysRequestBringsTheWindowForwardWithItsToken) {
    EnableLog();
    FakeSingleInstance instance({InstanceClaim::Claimed, {}});
    environment.singleInstance = &instance;
    WindowRef window = 0;
    harness.Loop().SetBody([&](DialogBase&) {
        window = harness.Windows().AddWindow(kWindowTitle);  // the window on screen
        EXPECT_TRUE(instance.RequestActivation("token-42"));
        EXPECT_TRUE(instance.RequestActivation(""));
    });
    EXPECT_FALSE(CWebcamApp(environment).InitInstance());
    EXPECT_EQ(harness.Windows().BroughtToFront(), (std::vector<WindowRef>{window, window}));
    EXPECT_EQ(harness.Windows().ActivationTokens(), (std::vector<std::string>{"token-42", ""}));
    const std::string log = Log();
    EXPECT_NE(log.find("\t錯誤訊息:Activate token-42\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\t錯誤訊息:Activate\n"), std::string::npos) << log;
}

TEST_F(SingleInstanceTest, ABusThatCouldNotDecideIsLogged) {
    EnableLog();
    FakeSingleInstance instance({InstanceClaim::Undecided, "the running copy did not answer"});
    environment.singleInstance = &instance;
    EXPECT_FALSE(CWebcamApp(environment).InitInstance());
    const std::string log = Log();
    EXPECT_NE(log.find("\t錯誤訊息:Session bus: the running copy did not answer; started alone\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.rfind("\n\n\n\n", 0), 0u) << "the note belongs to this run\n" << log;
}

}  // namespace
