#pragma once

// Helpers shared by the capture tests: the log read back as messages, a clean frame double
// buffer, and a dialog fixture whose capture system is the real V4L2 one.

#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "capture/frame_double_buffer.h"
#include "capture/still_graph.h"
#include "linux/v4l2/v4l2_media_framework.h"
#include "platform/media_framework.h"
#include "support/doubles/fake_power_notices.h"
#include "support/webcam_fixture.h"

// The messages of the log entries, in order (the time stamps stripped).
inline std::vector<std::string> LogMessages(const std::string& log) {
    static const std::regex kEntry(" \\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2} [^\\n]*\\n\\t[^:]*:");
    std::vector<std::string> messages;
    auto begin = std::sregex_iterator(log.begin(), log.end(), kEntry);
    const auto end = std::sregex_iterator();
    for (auto it = begin; it != end; ++it) {
        const std::size_t start = static_cast<std::size_t>(it->position() + it->length());
        auto next = std::next(it);
        std::size_t stop = next == end ? log.size() : static_cast<std::size_t>(next->position());
        if (stop > start && log[stop - 1] == '\n') {
            --stop;
        }
        messages.push_back(log.substr(start, stop - start));
    }
    return messages;
}

// Frees the blocks and forgets the latest frame, as at process start.
inline void ResetFrameDoubleBuffer() {
    g_frameDoubleBuffer.Reset();
    g_frameGrabberCallback.m_pDialog.store(nullptr);
}

// Reads a log as it grows: each call gives the messages written since the previous one.
class LogCursor {
public:
    std::vector<std::string> Since(const std::string& log) {
        const std::vector<std::string> all = LogMessages(log);
        std::vector<std::string> fresh(
            all.begin() + static_cast<long>(std::min(m_seen, all.size())), all.end());
        m_seen = all.size();
        return fresh;
    }

private:
    std::size_t m_seen = 0;
};

// The window on the fake capture system, logging on, with the capture state of a fresh process.
class CaptureFixture : public WebcamFixture {
public:
    CaptureFixture() {
        ResetFrameDoubleBuffer();
        g_bProbeHighRes = true;
        EnableLog();
    }
    ~CaptureFixture() { ResetFrameDoubleBuffer(); }

    // The messages logged since the last call.
    std::vector<std::string> NewMessages() { return m_log.Since(Log()); }

private:
    LogCursor m_log;
};
