// The leak check reports each kind of resource left behind with the entry that is new or gone,
// and passes again once it is given back.

#include "support/process_resources.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

// Something a test holds: given back when the object goes.
using Held = std::shared_ptr<void>;

Held OpenDescriptor(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << path;
    return Held(nullptr, [fd](void*) { ::close(fd); });
}

Held MapFile(const std::string& path) {
    WriteWholeFile(path, std::string(4096, 'x'));
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    void* address = ::mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    EXPECT_NE(address, MAP_FAILED) << path;
    return Held(nullptr, [address](void*) { ::munmap(address, 4096); });
}

Held RunThread() {
    auto thread = std::make_shared<std::jthread>([](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any woken;
        std::unique_lock lock(mutex);
        woken.wait(lock, stop, [] { return false; });
    });
    pthread_setname_np(thread->native_handle(), "left-behind");
    return thread;
}

struct LeftoverCase {
    const char* name;
    ResourceScope scope;
    std::function<Held()> make;
    std::string reported;  // part of the report
};

// GCC 12 at -O3 takes the strings of this table for maybe uninitialized where it inlines their
// destruction (a false positive of its analysis of short strings); the table is whole.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
TEST(ResourceLeakCheck, ReportsEachKindOfLeftoverUntilItIsGivenBack) {
    TempDir dir;
    const std::string mapped = (dir / "mapped").string();
    const LeftoverCase cases[] = {
        {"descriptor",
         {.mappings = false},
         [] { return OpenDescriptor("/dev/null"); },
         "-> /dev/null"},
        {"mapping of the file", {.file = mapped}, [&] { return MapFile(mapped); }, mapped},
        {"thread",
         {.descriptors = false, .mappings = false},
         [] { return RunThread(); },
         "left-behind"},
    };
    for (const LeftoverCase& c : cases) {
        const ResourceLeakCheck check(c.scope);
        Held held = c.make();
        // What is still held is reported at once: nothing is going to give it back.
        const ::testing::AssertionResult leftover = check.NothingLeftBehind(0ms);
        EXPECT_FALSE(leftover) << c.name;
        EXPECT_THAT(leftover.message(), HasSubstr("new: ")) << c.name;
        EXPECT_THAT(leftover.message(), HasSubstr(c.reported)) << c.name;
        held.reset();
        EXPECT_TRUE(check.NothingLeftBehind()) << c.name;
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

TEST(ResourceLeakCheck, ADescriptorClosedThatWasOpenAtTheStartIsReportedAsGone) {
    Held held = OpenDescriptor("/dev/null");
    const ResourceLeakCheck check({.mappings = false, .threads = false});
    held.reset();
    const ::testing::AssertionResult result = check.NothingLeftBehind();
    EXPECT_FALSE(result);
    EXPECT_THAT(result.message(), HasSubstr("gone: "));
}

// A thread that was ending when the baseline was taken (joined a moment before) leaves /proc
// later: that is no leak, whatever the order of the two.
TEST(ResourceLeakCheck, AThreadThatEndsAfterTheStartIsNoLeftover) {
    Held held = RunThread();
    const ResourceLeakCheck check({.descriptors = false, .mappings = false});
    held.reset();
    EXPECT_TRUE(check.NothingLeftBehind(0ms));
}

TEST(ResourceLeakCheck, CountsWhatProcIsNotShown) {
    std::size_t emulated = 1;
    ResourceLeakCheck check({.descriptors = false, .mappings = false, .threads = false});
    check.AlsoCount("emulated camera descriptors", [&] { return emulated; });
    emulated = 2;
    const ::testing::AssertionResult result = check.NothingLeftBehind();
    EXPECT_FALSE(result);
    EXPECT_THAT(result.message(), HasSubstr("emulated camera descriptors: 1 at the start, 2 now"));
    emulated = 1;
    EXPECT_TRUE(check.NothingLeftBehind());
}

TEST(ProcessResourcesTest, AFileCountsOnlyItsOwnDescriptorsAndMappings) {
    TempDir dir;
    const std::string mapped = (dir / "mapped").string();
    const std::string other = (dir / "other").string();
    EXPECT_EQ(CountProcessResources(mapped).mappings, 0u);
    Held mapping = MapFile(mapped);
    Held otherMapping = MapFile(other);
    Held descriptor = OpenDescriptor(mapped);
    const ProcessResources counted = CountProcessResources(mapped);
    EXPECT_EQ(counted.descriptors, 1u);
    EXPECT_EQ(counted.mappings, 1u);
    EXPECT_EQ(counted.threads, CountProcessResources().threads);
    EXPECT_GT(CountProcessResources().descriptors, counted.descriptors);
}

}  // namespace
