#pragma once

// What the process holds, read from /proc: open descriptors (/proc/self/fd), memory mappings
// (/proc/self/maps) and threads (/proc/self/task); and a check that nothing is left behind
// since a point of the test:
//
//     ResourceLeakCheck check;
//     for (int cycle = 0; cycle < 50; ++cycle) {
//         ...  // lose the camera and get it back
//         ASSERT_TRUE(check.NothingLeftBehind()) << "cycle " << cycle;
//     }
//
// Whole-process counts are exact only once the code under test has run a first time: the C
// library keeps a finished thread's stack and each thread's memory arena for reuse, and large
// blocks kept for reuse (the frame double buffer) are mappings too. So take the baseline after a
// warm-up round, or narrow the check to what the round must give back (a device's descriptors
// and mappings, the threads).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/wait_until.h"

// How many of each the process holds.
struct ProcessResources {
    std::size_t descriptors = 0;
    std::size_t mappings = 0;
    std::size_t threads = 0;

    bool operator==(const ProcessResources&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ProcessResources& r) {
    return out << r.descriptors << " descriptors, " << r.mappings << " mappings, " << r.threads
               << " threads";
}

// What a count or a check looks at. With a file, only the descriptors and mappings of that file
// count (a device node such as /dev/video0); threads are always all of the process's.
struct ResourceScope {
    bool descriptors = true;
    bool mappings = true;
    bool threads = true;
    std::string file;
};

// The process's resources at one moment, one text per entry: "fd -> target" for descriptors,
// the /proc/self/maps line for mappings, "tid name" for threads.
struct ResourceSnapshot {
    std::vector<std::string> descriptors;
    std::vector<std::string> mappings;
    std::vector<std::string> threads;

    static ResourceSnapshot Take(const std::string& file = {}) {
        return ResourceSnapshot{Descriptors(file), Mappings(file), Threads()};
    }
    ProcessResources Counts() const {
        return ProcessResources{descriptors.size(), mappings.size(), threads.size()};
    }

private:
    static std::vector<std::string> Descriptors(const std::string& file) {
        namespace fs = std::filesystem;
        // The listing reads the folder through a descriptor of its own, which is left out.
        const std::string listing = "/proc/" + std::to_string(getpid()) + "/fd";
        std::vector<std::string> entries;
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd", error)) {
            const std::string target = fs::read_symlink(entry.path(), error).string();
            if (error || target == listing || (!file.empty() && target != file)) {
                continue;
            }
            entries.push_back(entry.path().filename().string() + " -> " + target);
        }
        return entries;
    }
    static std::vector<std::string> Mappings(const std::string& file) {
        std::vector<std::string> lines;
        std::ifstream maps("/proc/self/maps");
        for (std::string line; std::getline(maps, line);) {
            if (file.empty() || MappedPath(line) == file) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    // The path column of a maps line: what follows address, permissions, offset, device and
    // inode; empty for anonymous memory.
    static std::string MappedPath(const std::string& line) {
        std::istringstream fields(line);
        std::string skipped;
        for (int field = 0; field < 5; ++field) {
            fields >> skipped;
        }
        std::string path;
        std::getline(fields >> std::ws, path);
        return path;
    }
    static std::vector<std::string> Threads() {
        namespace fs = std::filesystem;
        std::vector<std::string> threads;
        std::error_code error;
        for (const fs::directory_entry& task : fs::directory_iterator("/proc/self/task", error)) {
            std::string name;
            std::getline(std::ifstream(task.path() / "comm"), name);
            threads.push_back(task.path().filename().string() + " " + name);
        }
        return threads;
    }
};

// The process's threads of this name (as the thread named itself): a narrower check than the
// whole count, which a sanitizer's own background thread can change at any moment.
inline std::size_t ThreadsNamed(const std::string& name) {
    const std::vector<std::string> threads = ResourceSnapshot::Take().threads;
    return static_cast<std::size_t>(std::count_if(
        threads.begin(), threads.end(),
        [&](const std::string& thread) { return thread.substr(thread.find(' ') + 1) == name; }));
}

// What the process holds now, within the file when one is given.
inline ProcessResources CountProcessResources(const std::string& file = {}) {
    return ResourceSnapshot::Take(file).Counts();
}

// Remembers what the process holds when made; NothingLeftBehind() then tells whether it holds
// exactly that again, and if not, which entries are new or gone.
class ResourceLeakCheck {
public:
    // A joined thread leaves /proc/self/task a moment after the join has returned: a thread
    // count is given this long to come back before it counts as left behind.
    static constexpr std::chrono::milliseconds kThreadExitLimit{1000};

    explicit ResourceLeakCheck(ResourceScope scope = {})
        : m_scope(std::move(scope)), m_baseline(ResourceSnapshot::Take(m_scope.file)) {}

    // Adds a count that /proc does not show, such as the emulated camera's open descriptors;
    // its baseline is its value now.
    void AlsoCount(std::string what, std::function<std::size_t()> count) {
        const std::size_t now = count();
        m_extra.push_back(Extra{std::move(what), std::move(count), now});
    }

    const ResourceSnapshot& Baseline() const { return m_baseline; }

    // Success when every count in scope is what it was at the baseline: more is a leak, fewer
    // descriptors or mappings mean something was closed or unmapped that was not the code's own.
    ::testing::AssertionResult NothingLeftBehind(
        std::chrono::milliseconds threadExitLimit = kThreadExitLimit) const {
        ResourceSnapshot now = ResourceSnapshot::Take(m_scope.file);
        // Threads count only when there are more: a thread that was ending when the baseline
        // was taken (joined, but not yet gone from /proc) may leave at any moment after.
        if (m_scope.threads && now.threads.size() > m_baseline.threads.size()) {
            WaitUntil(
                [&] {
                    now.threads = ResourceSnapshot::Take(m_scope.file).threads;
                    return now.threads.size() <= m_baseline.threads.size();
                },
                threadExitLimit);
        }
        std::ostringstream report;
        if (m_scope.descriptors) {
            Compare("descriptors", m_baseline.descriptors, now.descriptors, report);
        }
        if (m_scope.mappings) {
            Compare("mappings", m_baseline.mappings, now.mappings, report);
        }
        if (m_scope.threads && now.threads.size() > m_baseline.threads.size()) {
            Compare("threads", m_baseline.threads, now.threads, report);
        }
        for (const Extra& extra : m_extra) {
            const std::size_t count = extra.count();
            if (count != extra.baseline) {
                report << extra.what << ": " << extra.baseline << " at the start, " << count
                       << " now\n";
            }
        }
        if (report.str().empty()) {
            return ::testing::AssertionSuccess();
        }
        const std::string within = m_scope.file.empty() ? "" : " of " + m_scope.file;
        return ::testing::AssertionFailure()
               << "the process does not hold what it held at the start" << within << ":\n"
               << report.str();
    }

private:
    struct Extra {
        std::string what;
        std::function<std::size_t()> count;
        std::size_t baseline = 0;
    };

    // Reports a count that differs, with the entries that are new or gone (a few of each).
    static void Compare(const char* what, std::vector<std::string> before,
                        std::vector<std::string> now, std::ostringstream& report) {
        if (before.size() == now.size()) {
            return;
        }
        report << what << ": " << before.size() << " at the start, " << now.size() << " now\n";
        std::sort(before.begin(), before.end());
        std::sort(now.begin(), now.end());
        List("new", now, before, report);
        List("gone", before, now, report);
    }
    static void List(const char* label, const std::vector<std::string>& from,
                     const std::vector<std::string>& without, std::ostringstream& report) {
        std::vector<std::string> entries;
        std::set_difference(from.begin(), from.end(), without.begin(), without.end(),
                            std::back_inserter(entries));
        constexpr std::size_t kShown = 8;
        for (std::size_t i = 0; i < std::min(entries.size(), kShown); ++i) {
            report << "  " << label << ": " << entries[i] << "\n";
        }
        if (entries.size() > kShown) {
            report << "  ... and " << entries.size() - kShown << " more " << label << "\n";
        }
    }

    ResourceScope m_scope;
    ResourceSnapshot m_baseline;
    std::vector<Extra> m_extra;
};
