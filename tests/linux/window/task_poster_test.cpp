// The program's queue to the user-interface thread: work posted from other threads arrives
// there whole and in each thread's order. Built to run under ThreadSanitizer too, which checks
// that what the work carries is handed over with synchronisation it can see.
#include "linux/window/qt_task_poster.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/doubles/headless_harness.h"
#include "support/wait_until.h"

namespace {

TEST(TaskPosterTest, WorkFromManyThreadsRunsWholeOnTheUserInterfaceThreadInOrder) {
    EnsureQtApplication();
    QtTaskPoster poster;
    constexpr int kThreads = 4;
    constexpr int kPosts = 500;
    std::map<int, std::vector<int>> received;  // user-interface thread only
    int offThread = 0;
    const std::thread::id userInterface = std::this_thread::get_id();
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kPosts; ++i) {
                    // Made on this thread, read on the other: the checker sees the hand-over.
                    auto payload = std::make_unique<std::string>(std::to_string(i));
                    poster.Post([&, t, payload = std::shared_ptr<std::string>(std::move(payload))] {
                        received[t].push_back(std::stoi(*payload));
                        offThread += std::this_thread::get_id() != userInterface ? 1 : 0;
                    });
                }
            });
        }
    }
    ASSERT_TRUE(WaitUntilProcessingEvents([&] {
        std::size_t count = 0;
        for (const auto& [thread, values] : received) {
            count += values.size();
        }
        return count == kThreads * kPosts;
    }));
    EXPECT_EQ(offThread, 0);
    std::vector<int> inOrder(kPosts);
    for (int i = 0; i < kPosts; ++i) {
        inOrder[i] = i;
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(received[t], inOrder) << "thread " << t;
    }
}

TEST(TaskPosterTest, WorkPostedByWorkRunsLaterAndWorkLeftWhenThePosterGoesIsDropped) {
    EnsureQtApplication();
    std::vector<std::string> ran;
    {
        QtTaskPoster poster;
        poster.Post([&] {
            ran.push_back("first");
            poster.Post([&] { ran.push_back("posted by the first"); });
        });
        ASSERT_TRUE(WaitUntilProcessingEvents([&] { return ran.size() == 2; }));
        poster.Post([&] { ran.push_back("left behind"); });
    }
    ASSERT_TRUE(ProcessQueuedCalls());
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "posted by the first"}));
}

}  // namespace
