// The hand-over of a stream's end from the streaming thread to the user-interface thread: the
// report waits for the user-interface thread's queue, and is dropped when its run was stopped or
// followed by another, or when the relay is gone by then. Built to run under ThreadSanitizer too.
#include "linux/v4l2/stream_end_relay.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "linux/window/qt_task_poster.h"
#include "support/doubles/headless_harness.h"
#include "support/wait_until.h"

namespace {

// What the handler was called with, and on which thread.
struct Received {
    std::vector<int> errors;
    std::vector<std::thread::id> threads;

    StreamEndHandler Handler() {
        return [this](const StreamEnd& end) {
            errors.push_back(end.error);
            threads.push_back(std::this_thread::get_id());
        };
    }
};

// The program's own queue to the user-interface thread, made once with the application and,
// like it, never destroyed.
TaskPoster& UserInterface() {
    EnsureQtApplication();
    static QtTaskPoster& userInterface = *new QtTaskPoster;
    return userInterface;
}

// Reports from a streaming thread of its own and joins it: once this returns, the report is
// queued (or dropped) whatever the user-interface thread does next.
void ReportFromStreamingThread(const std::function<void(int)>& report, int error) {
    std::thread streaming([&report, error] { report(error); });
    streaming.join();
}

enum class Meanwhile { Nothing, Stop, NextRun, StopAndNextRun, RelayGone };

struct MeanwhileRow {
    const char* name;
    Meanwhile meanwhile;  // what the user-interface thread does before its event loop runs
    bool delivered;
};

void PrintTo(const MeanwhileRow& row, std::ostream* out) {
    *out << row.name;
}

class StreamEndRelayTest : public ::testing::TestWithParam<MeanwhileRow> {
protected:
    StreamEndRelayTest() { EnsureQtApplication(); }
};

TEST_P(StreamEndRelayTest, TheReportComesFromTheEventLoopUnlessItsRunIsOver) {
    const MeanwhileRow& row = GetParam();
    auto relay = std::make_unique<StreamEndRelay>(&UserInterface());
    Received received;
    relay->SetHandler(received.Handler());
    ReportFromStreamingThread(relay->Arm(), ENODEV);
    EXPECT_TRUE(received.errors.empty());  // not on the streaming thread, not before the loop

    switch (row.meanwhile) {
        case Meanwhile::Nothing:
            break;
        case Meanwhile::Stop:
            relay->Disarm();
            break;
        case Meanwhile::NextRun:
            relay->Arm();
            break;
        case Meanwhile::StopAndNextRun:
            relay->Disarm();
            relay->Arm();
            break;
        case Meanwhile::RelayGone:
            relay.reset();
            break;
    }
    ASSERT_TRUE(ProcessQueuedCalls());

    if (!row.delivered) {
        EXPECT_TRUE(received.errors.empty());
        return;
    }
    ASSERT_EQ(received.errors, std::vector<int>{ENODEV});
    EXPECT_EQ(received.threads[0], std::this_thread::get_id());
}

INSTANTIATE_TEST_SUITE_P(
    BeforeTheEventLoopRuns, StreamEndRelayTest,
    ::testing::Values(MeanwhileRow{"nothing", Meanwhile::Nothing, true},
                      MeanwhileRow{"stopped", Meanwhile::Stop, false},
                      MeanwhileRow{"run_again", Meanwhile::NextRun, false},
                      MeanwhileRow{"stopped_and_run_again", Meanwhile::StopAndNextRun, false},
                      MeanwhileRow{"graph_gone", Meanwhile::RelayGone, false}),
    [](const ::testing::TestParamInfo<MeanwhileRow>& info) { return info.param.name; });

TEST(StreamEndRelayOnceTest, ARunEndsOnceAndTheNextRunReportsAgain) {
    EnsureQtApplication();
    StreamEndRelay relay(&UserInterface());
    Received received;
    relay.SetHandler(received.Handler());
    const std::function<void(int)> first = relay.Arm();
    ReportFromStreamingThread(first, EIO);
    ReportFromStreamingThread(first, EIO);
    ASSERT_TRUE(ProcessQueuedCalls());
    EXPECT_EQ(received.errors, std::vector<int>{EIO});

    relay.Disarm();
    ReportFromStreamingThread(relay.Arm(), ENODEV);
    ASSERT_TRUE(ProcessQueuedCalls());
    EXPECT_EQ(received.errors, (std::vector<int>{EIO, ENODEV}));
}

// A run's news of its frames comes in order from the event loop, as often as the frames stop
// and come again, until the run is stopped, followed by another, or has ended.
TEST(StreamActivityRelayTest, ARunsNewsComeInOrderUntilTheRunIsOver) {
    EnsureQtApplication();
    StreamEndRelay relay(&UserInterface());
    std::vector<StreamActivity> news;
    relay.SetActivityHandler([&news](StreamActivity activity) { news.push_back(activity); });
    relay.SetHandler([](const StreamEnd&) {});
    const std::function<void(int)> ended = relay.Arm();
    const std::function<void(StreamActivity)> activity = relay.ActivityOfRun();
    std::thread streaming([&activity] {
        activity(StreamActivity::Flowing);
        activity(StreamActivity::Silent);
        activity(StreamActivity::Flowing);
    });
    streaming.join();
    EXPECT_TRUE(news.empty()) << "not on the streaming thread";
    ASSERT_TRUE(ProcessQueuedCalls());
    EXPECT_EQ(news, (std::vector<StreamActivity>{StreamActivity::Flowing, StreamActivity::Silent,
                                                 StreamActivity::Flowing}));

    // An end closes the run: what it reports after, or what is still queued, is dropped.
    ReportFromStreamingThread(ended, EIO);
    std::thread late([&activity] { activity(StreamActivity::Silent); });
    late.join();
    ASSERT_TRUE(ProcessQueuedCalls());
    EXPECT_EQ(news.size(), 3u);

    // So is the news of a stopped run, and of a run followed by another.
    relay.Arm();
    const std::function<void(StreamActivity)> stopped = relay.ActivityOfRun();
    relay.Disarm();
    std::thread afterStop([&stopped] { stopped(StreamActivity::Silent); });
    afterStop.join();
    relay.Arm();
    const std::function<void(StreamActivity)> current = relay.ActivityOfRun();
    std::thread now([&current] { current(StreamActivity::Silent); });
    now.join();
    ASSERT_TRUE(ProcessQueuedCalls());
    EXPECT_EQ(news.back(), StreamActivity::Silent);
    EXPECT_EQ(news.size(), 4u);
}

TEST(StreamEndRelayOnceTest, TheHandlerMayDestroyTheRelayThatCallsIt) {
    EnsureQtApplication();
    auto relay = std::make_unique<StreamEndRelay>(&UserInterface());
    int calls = 0;
    relay->SetHandler([&relay, &calls](const StreamEnd& end) {
        ++calls;
        EXPECT_TRUE(end.DeviceLost());
        relay.reset();  // as a handler that releases its graph does
    });
    ReportFromStreamingThread(relay->Arm(), ENODEV);
    ASSERT_TRUE(ProcessQueuedCalls());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(relay, nullptr);
}

}  // namespace
