#pragma once

// Waiting for something a test can observe, instead of sleeping a fixed time: a plain poll of a
// condition, and a form that lets Qt deliver its events (timers, D-Bus messages, queued calls,
// paints) while it waits. Both check the condition first and once more at the time limit, and
// answer whether it held; the limit only decides how long a failing test takes.

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

inline constexpr std::chrono::milliseconds kWaitLimit{5000};
inline constexpr std::chrono::milliseconds kPollInterval{5};

// Polls the condition every interval until it holds or the limit has passed. Something slow to
// ask (a command run for each check) calls for a longer interval.
template <typename Condition>
bool WaitUntil(Condition&& condition, std::chrono::milliseconds limit = kWaitLimit,
               std::chrono::milliseconds interval = kPollInterval) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(interval, deadline - now));
    }
    return true;
}

// The same on a thread with a Qt event loop (a QCoreApplication must exist): between checks it
// delivers the events that arrive, and wakes at least every interval for conditions that no
// event announces (a frame from a streaming thread, a file another process writes).
template <typename Condition>
bool WaitUntilProcessingEvents(Condition&& condition, std::chrono::milliseconds limit = kWaitLimit,
                               std::chrono::milliseconds interval = kPollInterval) {
    QTimer wake;
    wake.start(interval);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs every call queued to the application object so far (from any thread) and returns once
// the last of them has run: calls queued to one object run in order, so a marker queued now runs
// after them.
inline bool ProcessQueuedCalls(std::chrono::milliseconds limit = kWaitLimit) {
    auto marker = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [marker] { *marker = true; }, Qt::QueuedConnection);
    return WaitUntilProcessingEvents([&marker] { return *marker; }, limit);
}

// Lets Qt deliver events for the whole duration. Only for a test that shows something does NOT
// happen within a time (a disarmed timer stays quiet, a notice does not end the program): there
// is nothing to wait for, so the time itself is what the test needs.
inline void ProcessEventsFor(std::chrono::milliseconds duration) {
    WaitUntilProcessingEvents([] { return false; }, duration);
}
