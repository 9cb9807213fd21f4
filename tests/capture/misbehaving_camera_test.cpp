// The V4L2 streaming code against an emulated camera that misbehaves as real ones do: frames the
// driver flags as damaged, frames cut short and frames of noise; a stream that falls silent and
// comes back; an unplug answered with EINVAL; and a camera opened anew.

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

#include "capture_test_support.h"
#include "linux/emulated_camera/virtual_camera.h"
#include "linux/v4l2/capture_stream.h"
#include "linux/v4l2/v4l2_camera.h"
#include "linux/v4l2/v4l2_source.h"
#include "platform/diagnostic_log.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kFrameBytes = 640 * 480 * 2;

// The diagnostic log on, in a folder of the test's own.
class LogHere {
public:
    LogHere() {
        WriteWholeFile(m_folder / "Debug", "");
        StartLogging();
    }
    ~LogHere() { g_bLogEnabled = false; }
    LogHere(const LogHere&) = delete;
    LogHere& operator=(const LogHere&) = delete;

    // The damaged-frame counts logged so far: total, flagged, of the wrong length, per line.
    struct Count {
        unsigned total = 0;
        unsigned flagged = 0;
        unsigned wrongLength = 0;
    };
    std::vector<Count> DamagedCounts() const {
        std::vector<Count> counts;
        for (const std::string& line : LogMessages(ReadWholeFile(m_folder / "Message"))) {
            Count count;
            if (std::sscanf(line.c_str(),
                            "Camera sent %u damaged frame%*[s] (%u flagged by the driver, %u of",
                            &count.total, &count.flagged, &count.wrongLength) == 3 ||
                std::sscanf(line.c_str(),
                            "Camera sent %u damaged frame (%u flagged by the driver, %u of",
                            &count.total, &count.flagged, &count.wrongLength) == 3) {
                counts.push_back(count);
            }
        }
        return counts;
    }

private:
    TempDir m_folder;
    CurrentDirectoryGuard m_cwd{m_folder.Path()};
};

// What a stream handed its sinks, from the streaming thread.
class StreamRecord {
public:
    CameraSinks Sinks(int silenceLimitMs = 0) {
        CameraSinks sinks;
        sinks.onFrame = [this](const CameraFrame& frame) {
            std::lock_guard lock(m_mutex);
            m_lengths.push_back(frame.bytesUsed);
        };
        sinks.onEnded = [this](int error) {
            std::lock_guard lock(m_mutex);
            m_endError = error;
        };
        if (silenceLimitMs > 0) {
            sinks.onActivity = [this](bool flowing) {
                std::lock_guard lock(m_mutex);
                m_activity.push_back(flowing);
            };
            sinks.silenceLimit = std::chrono::milliseconds(silenceLimitMs);
        }
        return sinks;
    }
    std::vector<std::uint32_t> Lengths() {
        std::lock_guard lock(m_mutex);
        return m_lengths;
    }
    std::size_t Frames() { return Lengths().size(); }
    std::vector<bool> Activity() {
        std::lock_guard lock(m_mutex);
        return m_activity;
    }
    std::optional<int> EndError() {
        std::lock_guard lock(m_mutex);
        return m_endError;
    }

private:
    std::mutex m_mutex;  // guards everything below: written by the streaming thread
    std::vector<std::uint32_t> m_lengths;
    std::vector<bool> m_activity;  // true: flowing, false: silent
    std::optional<int> m_endError;
};

std::shared_ptr<VirtualCameraIo> ManualClockCamera(const VirtualCameraFaults& faults = {}) {
    VirtualCameraOptions options;
    options.manualClock = true;
    auto io = std::make_shared<VirtualCameraIo>(options);
    io->SetFaults(faults);
    return io;
}

std::unique_ptr<V4l2Camera> Open(const std::shared_ptr<VirtualCameraIo>& io) {
    int error = 0;
    std::unique_ptr<V4l2Camera> camera = V4l2Camera::Open(io, io->Node(), &error);
    EXPECT_EQ(error, 0);
    return camera;
}

struct DamageRow {
    const char* name;
    VirtualCameraFaults faults;
    // Whether frame n of the stream (counted from 1) is flagged, or has the wrong length.
    bool (*flagged)(std::uint64_t n);
    bool (*wrongLength)(std::uint64_t n);
};

void PrintTo(const DamageRow& row, std::ostream* out) {
    *out << row.name;
}

class DamagedFrameTest : public ::testing::TestWithParam<DamageRow> {};

// Every frame the camera sent is either delivered whole or counted as damaged, never both; the
// counts reach the log (the clock stands still, so only the first damaged frame and what remains
// at the stop are written).
TEST_P(DamagedFrameTest, DamagedFramesAreCountedNeverDelivered) {
    const DamageRow& row = GetParam();
    LogHere log;
    auto io = ManualClockCamera(row.faults);
    std::unique_ptr<V4l2Camera> camera = Open(io);
    StreamRecord record;
    ASSERT_EQ(camera->StartStreaming(record.Sinks()), 0);
    ASSERT_TRUE(WaitUntil([&] { return io->FramesDelivered() >= 13; }));
    camera->StopStreaming();

    const std::uint64_t sent = io->FramesDelivered();
    unsigned flagged = 0;
    unsigned wrongLength = 0;
    for (std::uint64_t n = 1; n <= sent; ++n) {
        if (row.flagged(n)) {
            ++flagged;
        } else if (row.wrongLength(n)) {
            ++wrongLength;
        }
    }
    const std::vector<std::uint32_t> lengths = record.Lengths();
    EXPECT_EQ(lengths.size(), sent - flagged - wrongLength);
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), kFrameBytes),
              static_cast<std::ptrdiff_t>(lengths.size()))
        << "a frame of the wrong length was delivered";
    LogHere::Count logged;
    const std::vector<LogHere::Count> lines = log.DamagedCounts();
    for (const LogHere::Count& line : lines) {
        EXPECT_EQ(line.total, line.flagged + line.wrongLength);
        logged.flagged += line.flagged;
        logged.wrongLength += line.wrongLength;
    }
    EXPECT_EQ(logged.flagged, flagged);
    EXPECT_EQ(logged.wrongLength, wrongLength);
    EXPECT_LE(lines.size(), 2u);
    EXPECT_EQ(lines.empty(), flagged + wrongLength == 0);
}

bool Never(std::uint64_t) {
    return false;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DamagedFrameTest,
    ::testing::Values(
        DamageRow{
            "flagged", {.flaggedEvery = 3}, [](std::uint64_t n) { return n % 3 == 0; }, Never},
        DamageRow{"short", {.shortEvery = 4}, Never, [](std::uint64_t n) { return n % 4 == 0; }},
        // Frame 6 is both, and counted once, as flagged.
        DamageRow{"flagged_and_short",
                  {.flaggedEvery = 2, .shortEvery = 3},
                  [](std::uint64_t n) { return n % 2 == 0; },
                  [](std::uint64_t n) { return n % 3 == 0; }},
        // Noise of the right length is a frame like any other.
        DamageRow{"garbage", {.garbageEvery = 2}, Never, Never}),
    [](const ::testing::TestParamInfo<DamageRow>& info) { return info.param.name; });

TEST(DamagedFrameLogTest, TheCountIsWrittenAtMostOnceASecond) {
    LogHere log;
    auto io = ManualClockCamera({.flaggedEvery = 1});
    std::unique_ptr<V4l2Camera> camera = Open(io);
    StreamRecord record;
    ASSERT_EQ(camera->StartStreaming(record.Sinks()), 0);
    ASSERT_TRUE(WaitUntil([&] { return io->FramesDelivered() >= 5; }));
    EXPECT_EQ(log.DamagedCounts().size(), 1u) << "the first damaged frame is written at once";
    io->MoveClockOn(1s);
    ASSERT_TRUE(WaitUntil([&] { return log.DamagedCounts().size() == 2; }));
    const std::uint64_t atSecondLine = io->FramesDelivered();
    ASSERT_TRUE(WaitUntil([&] { return io->FramesDelivered() >= atSecondLine + 5; }));
    EXPECT_EQ(log.DamagedCounts().size(), 2u);
    camera->StopStreaming();

    unsigned logged = 0;
    for (const LogHere::Count& line : log.DamagedCounts()) {
        logged += line.flagged;
    }
    EXPECT_EQ(logged, io->FramesDelivered());
    EXPECT_EQ(record.Frames(), 0u);
}

// The stream's watch: the first frame says the frames flow, a silence of the limit says they
// stopped (however many poll timeouts pass before), the next frame says they flow again, and
// frames half a second apart are a slow camera, not a silent one.
TEST(StreamActivityTest, SilenceAndFlowAreToldOnceEach) {
    auto io = ManualClockCamera();
    std::unique_ptr<V4l2Camera> camera = Open(io);
    StreamRecord record;
    ASSERT_EQ(camera->StartStreaming(record.Sinks(2000)), 0);
    ASSERT_TRUE(WaitUntil([&] { return record.Frames() >= 3; }));
    EXPECT_EQ(record.Activity(), std::vector<bool>{true});

    io->SetFaults({.stall = true});
    std::chrono::milliseconds moved{0};
    ASSERT_TRUE(WaitUntil([&] {
        if (record.Activity().size() == 1) {
            io->MoveClockOn(250ms);
            moved += 250ms;
        }
        return record.Activity().size() == 2;
    }));
    EXPECT_GE(moved, 2000ms);
    EXPECT_EQ(record.Activity(), (std::vector<bool>{true, false}));

    io->SetFaults({.slowFps = 10});
    ASSERT_TRUE(WaitUntil([&] { return record.Activity().size() == 3; }));
    for (int frame = 0; frame < 6; ++frame) {
        const std::size_t before = record.Frames();
        ASSERT_TRUE(WaitUntil([&] { return record.Frames() > before; }));
        io->MoveClockOn(500ms);
    }
    EXPECT_EQ(record.Activity(), (std::vector<bool>{true, false, true}));
    camera->StopStreaming();
    EXPECT_FALSE(record.EndError().has_value());
}

// Where the reader waits decides what the driver answers an unplug with; both are the device
// gone, and the stream says so.
class UnplugAnswerTest : public ::testing::TestWithParam<bool> {};

TEST_P(UnplugAnswerTest, AnUnplugEndsTheStreamWithTheDeviceGone) {
    auto io = ManualClockCamera({.unplugAnswersEinval = GetParam()});
    std::unique_ptr<V4l2Camera> camera = Open(io);
    StreamRecord record;
    ASSERT_EQ(camera->StartStreaming(record.Sinks()), 0);
    ASSERT_TRUE(WaitUntil([&] { return record.Frames() >= 1; }));
    io->Unplug();
    ASSERT_TRUE(WaitUntil([&] { return record.EndError().has_value(); }));
    EXPECT_EQ(record.EndError(), -ENODEV);
}

// The end of an unplugged USB camera's stream waits for the driver's teardown, marked by its
// interface's folder leaving sysfs, so that the descriptor is closed only after it; for two
// seconds at most.
TEST(UnplugAnswerTest, TheEndOfAnUnpluggedCameraWaitsForItsTeardown) {
    TempDir sysfs;
    const std::filesystem::path interface = sysfs / "1-2:1.0";
    std::filesystem::create_directories(interface);
    auto io = ManualClockCamera();
    std::unique_ptr<V4l2Camera> camera = Open(io);
    camera->AwaitRemovalOf(interface.string());
    StreamRecord record;
    ASSERT_EQ(camera->StartStreaming(record.Sinks()), 0);
    ASSERT_TRUE(WaitUntil([&] { return record.Frames() >= 1; }));
    io->Unplug();
    EXPECT_FALSE(WaitUntil([&] { return record.EndError().has_value(); }, 200ms))
        << "the end came while the device was still being torn down";
    std::filesystem::remove(interface);
    ASSERT_TRUE(WaitUntil([&] { return record.EndError().has_value(); }));
    EXPECT_EQ(record.EndError(), -ENODEV);

    // A teardown that never ends holds the report back no longer than two seconds.
    io->Replug();
    std::filesystem::create_directories(interface);
    camera = Open(io);
    camera->AwaitRemovalOf(interface.string());
    StreamRecord stuck;
    ASSERT_EQ(camera->StartStreaming(stuck.Sinks()), 0);
    ASSERT_TRUE(WaitUntil([&] { return stuck.Frames() >= 1; }));
    io->Unplug();
    EXPECT_FALSE(WaitUntil([&] { return stuck.EndError().has_value(); }, 200ms));
    std::chrono::milliseconds moved{0};
    EXPECT_TRUE(WaitUntil([&] {
        io->MoveClockOn(100ms);
        moved += 100ms;
        return stuck.EndError().has_value();
    }));
    EXPECT_GE(moved, 2s);
}

INSTANTIATE_TEST_SUITE_P(Readers, UnplugAnswerTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "blocked_in_dequeue" : "polling";
                         });

// A source opened anew keeps the size its stream ran at, even when the device came back in
// its own default; a device that has gone cannot be opened again and says so.
TEST(ReopenTest, TheSourceOpensItsNodeAgainAtTheSizeItStreamed) {
    auto io = ManualClockCamera();
    std::unique_ptr<V4l2Camera> opened = Open(io);
    CameraFormat granted;
    ASSERT_EQ(opened->SetFormat(320, 240, V4L2_PIX_FMT_YUYV, &granted), 0);
    std::shared_ptr<CaptureFilter> source = MakeV4l2Source(std::move(opened));
    auto stream = std::dynamic_pointer_cast<CaptureStream>(source);
    ASSERT_NE(stream, nullptr);
    std::atomic<int> frames{0};
    StreamSinks sinks{[&](const StreamFrame&) { frames.fetch_add(1); }, [](int) {}, {}, 0};
    ASSERT_EQ(stream->StartStream(sinks), S_OK_RESULT);
    ASSERT_TRUE(WaitUntil([&] { return frames.load() >= 1; }));
    EXPECT_EQ(source->ReopenDevice(), HResultFromErrno(EBUSY)) << "not while it streams";
    stream->StopStream();

    io->Unplug();
    EXPECT_EQ(source->ReopenDevice(), HResultFromErrno(ENODEV));
    EXPECT_NE(stream->StartStream(sinks), S_OK_RESULT);
    EXPECT_EQ(io->OpenDescriptors(), 0) << "a failed reopen leaves the camera closed";

    io->Replug();  // back in its default, 640 x 480
    ASSERT_EQ(source->ReopenDevice(), S_OK_RESULT);
    EXPECT_EQ(io->OpenDescriptors(), 1);
    MediaType type;
    ASSERT_EQ(stream->GetStreamType(&type), S_OK_RESULT);
    EXPECT_EQ(type.format.bmiHeader.biWidth, 320);
    EXPECT_EQ(type.format.bmiHeader.biHeight, 240);
    EXPECT_EQ(type.format.AvgTimePerFrame, 10'000'000 / kVirtualCameraFps);
    frames.store(0);
    ASSERT_EQ(stream->StartStream(sinks), S_OK_RESULT);
    EXPECT_TRUE(WaitUntil([&] { return frames.load() >= 1; }));
    stream->StopStream();
}

}  // namespace
