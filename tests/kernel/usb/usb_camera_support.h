#pragma once

// What the USB camera's cases need: the emulated USB webcam (usb_camera.py of the team's shared
// tools) plugged into the kernel machine through USB/IP, so that the kernel's own uvcvideo
// drives it; its signals and fault switches; its nodes as sysfs lists them; the pattern it draws,
// which is deterministic, so that a picture can be checked against the frame the camera sent;
// and the suite's set-up: a udev daemon, another maker's camera plugged first and the maker's
// camera second. Every wait is bounded.
//
// The suite runs inside ../shared/tools/kernel-vm/run after the vivid suite
// (tools/run-kernel-tests); anywhere the emulator cannot plug a camera in, each case skips with
// the reason.

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "program_support.h"

namespace usb {

using namespace std::chrono_literals;
using vivid::RunShell;

// A camera plugs in within this time, also on a busy host (1.5 to 4 s measured).
constexpr std::chrono::milliseconds kPlugLimit{30000};
// Frames come at a few a second at worst under emulation.
constexpr std::chrono::milliseconds kFrameLimit{20000};

// The emulator: USB_CAMERA_EMULATOR, else the shared tools beside the checkout.
std::string EmulatorPath();

// One emulated camera, plugged in by the emulator's `attach` with a state file of its own and
// then driven by its signals; detached when this goes.
class EmulatedCamera {
public:
    // name: the state file's name; vendor and product: the USB ids, by which its device is found
    // in sysfs (each camera of the suite has its own); options: further device options.
    EmulatedCamera(std::string name, std::string vendor, std::string product,
                   std::vector<std::string> options = {});
    ~EmulatedCamera();
    EmulatedCamera(const EmulatedCamera&) = delete;
    EmulatedCamera& operator=(const EmulatedCamera&) = delete;

    // Starts the emulator; true once the camera's nodes exist, else false with its output.
    bool Attach(std::string* output);
    // Ends the emulator, which unplugs the camera; returns once its USB device has gone.
    void Detach();

    // The signals act within milliseconds; Python's start would take seconds.
    void Unplug() { Signal(SIGUSR1); }
    // Once the emulator itself has seen the last unplug through (it ignores a plug before).
    void Plug();
    void Stall() { Signal(SIGRTMIN); }
    void Resume() { Signal(SIGRTMIN + 1); }
    // Switches a fault as the emulator's `fault` command does; true once it is in force.
    bool Fault(const std::string& name, const std::string& argument = "");

    // Its USB bus id (1-1, 1-2, ...) while its device is in sysfs, else empty.
    std::string BusId() const;
    bool Plugged() const { return !BusId().empty(); }
    // Its capture node (index 0) or metadata node (index 1), once /dev has it.
    std::optional<std::string> Node(int index = 0) const;
    // After Plug: the capture node once the camera is back; nothing when it did not come.
    std::optional<std::string> WaitForNode(std::chrono::milliseconds limit = kPlugLimit) const;
    // Until its device has left sysfs and the emulator has seen the unplug through.
    bool WaitUntilUnplugged(std::chrono::milliseconds limit = kPlugLimit) const;
    // Connections the kernel dropped by itself (see the emulator's README).
    int UnexpectedDisconnects() const;
    const std::string& TraceFile() const { return m_trace; }
    // For a failure's report: where its device is, the emulator's state, and the end of its
    // trace and of the kernel's log.
    std::string Report() const;

private:
    void Signal(int number) const;
    pid_t Pid() const;
    std::string State() const;

    std::string m_state;
    std::string m_trace;
    std::string m_vendor;
    std::string m_product;
    std::vector<std::string> m_options;
    bool m_attached = false;
};

// The suite's machine: a udev daemon and two cameras, another maker's (046d:0825) plugged first
// and the maker's second, as on a notebook with a camera of its own and one plugged in.
class UsbMachine {
public:
    static UsbMachine& Get();
    // Why the cases cannot run here, or nothing.
    const std::optional<std::string>& WhyNot() const { return m_whyNot; }
    EmulatedCamera& Maker() { return *m_maker; }
    EmulatedCamera& Other() { return *m_other; }
    // Plugs in whichever camera is out, and waits for it.
    bool BothPlugged();

    void SetUp();
    void TearDown();

private:
    std::optional<std::string> m_whyNot = std::string("the suite's set-up did not run");
    std::unique_ptr<vivid::UdevDaemon> m_udev;
    std::unique_ptr<EmulatedCamera> m_other;
    std::unique_ptr<EmulatedCamera> m_maker;
};

// Every case: skipped with the reason where the cameras cannot be plugged in, and left with
// both cameras plugged and no fault in force.
class UsbTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    EmulatedCamera& Maker() { return UsbMachine::Get().Maker(); }
    EmulatedCamera& Other() { return UsbMachine::Get().Other(); }

private:
    std::map<const EmulatedCamera*, int> m_dropped;  // unexpected disconnects before the case
};

// uvcvideo's nodrop parameter: 1 delivers damaged frames flagged instead of dropping them. It
// takes effect when a camera binds.
bool SetUvcNodrop(bool deliver);

// ---- The camera's pattern ----

// What the bottom-left code of a frame says: the frame number and the brightness it was drawn
// at. Read from a YUYV frame, or from rows of blue-green-red pixels.
struct PatternCode {
    std::uint32_t frame = 0;
    int brightness = 0;
    bool operator==(const PatternCode&) const = default;
};
PatternCode ReadCodeFromYuyv(const std::uint8_t* yuyv, int width, int height);
PatternCode ReadCodeFromBgr(const std::uint8_t* bgr, int width, int height, bool bottomUp);

// Frames of the camera's pattern, drawn by the emulator's own code (one start of Python for
// all of them, which takes seconds in the emulated machine); empty when they cannot be drawn.
struct PatternFrame {
    int width = 0;
    int height = 0;
    PatternCode code;
};
std::vector<std::vector<std::uint8_t>> DrawPatternFrames(const std::vector<PatternFrame>& frames);

// The stored picture, decoded: width x height blue-green-red pixels, bottom row first.
struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgr;
};
std::optional<DecodedPicture> DecodeJpeg(const std::filesystem::path& file);
// Bottom-up blue-green-red rows through the image library's JPEG encoder at the settings the
// program saves with, and decoded again: what a stored picture of exactly these pixels holds.
std::optional<DecodedPicture> ThroughJpeg(const std::vector<std::uint8_t>& bgr, int width,
                                          int height);

// Prints a time the suite measured and keeps it as a test property (never asserted).
void PrintMeasured(const std::string& what, const std::vector<double>& milliseconds);

// The folder the suite was started in, where it leaves what a failure needs looked at (the
// windows of the cases work in temporary folders of their own).
const std::filesystem::path& OutputFolder();

}  // namespace usb
