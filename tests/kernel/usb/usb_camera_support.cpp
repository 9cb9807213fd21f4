#include "usb_camera_support.h"

#include <FreeImage.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace usb {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The command's standard output and error together, and its exit status.
std::string Run(const std::string& command, int* exitCode) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        *exitCode = -1;
        return output;
    }
    std::array<char, 4096> chunk{};
    while (const std::size_t n = fread(chunk.data(), 1, chunk.size(), pipe)) {
        output.append(chunk.data(), n);
    }
    const int status = pclose(pipe);
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string Joined(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        line += " " + Quoted(word);
    }
    return line;
}

std::string FirstWord(const fs::path& file) {
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
}

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// The code's cells: 32 squares of cell pixels along the bottom, one cell up from the bottom row
// of cells and one cell in from the left, white for a one; eight bits of brightness first.
struct CodeCells {
    int cell;
    int y;  // the row through the cells' middles, from the top
    int X(int bit) const { return cell * (1 + bit) + cell / 2; }
};

CodeCells CellsOf(int width, int height) {
    const int cell = std::max(2, (width / 80) & ~1);
    return CodeCells{cell, height - 2 * cell + cell / 2};
}

template <typename IsWhite>
PatternCode ReadCode(const CodeCells& cells, IsWhite isWhite) {
    std::uint32_t value = 0;
    for (int bit = 0; bit < 32; ++bit) {
        value = (value << 1) | (isWhite(cells.X(bit), cells.y) ? 1u : 0u);
    }
    const int brightness = static_cast<int>(value >> 24);
    return PatternCode{value & 0xFFFFFFu, brightness > 127 ? brightness - 256 : brightness};
}

class UsbEnvironment : public ::testing::Environment {
public:
    void SetUp() override { UsbMachine::Get().SetUp(); }
    void TearDown() override { UsbMachine::Get().TearDown(); }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new UsbEnvironment);

}  // namespace

const fs::path& OutputFolder() {
    static const fs::path folder = fs::current_path();
    return folder;
}

std::string EmulatorPath() {
    if (const char* path = std::getenv("USB_CAMERA_EMULATOR"); path != nullptr && *path != 0) {
        return path;
    }
    return std::string(LUMISIGHT_SOURCE_DIR) + "/../shared/tools/usb-camera/usb_camera.py";
}

// ---- EmulatedCamera ----

EmulatedCamera::EmulatedCamera(std::string name, std::string vendor, std::string product,
                               std::vector<std::string> options)
    : m_state("/tmp/lumisight-" + name + ".state"),
      m_trace("/tmp/lumisight-" + name + ".trace"),
      m_vendor(std::move(vendor)),
      m_product(std::move(product)),
      m_options(std::move(options)) {
    m_options.insert(m_options.begin(), {"--vendor", m_vendor, "--product", m_product});
}

EmulatedCamera::~EmulatedCamera() {
    Detach();
}

bool EmulatedCamera::Attach(std::string* output) {
    int code = -1;
    *output = Run("python3 " + Quoted(EmulatorPath()) + " attach --background --state " +
                      Quoted(m_state) + " --log " + Quoted(m_trace) + Joined(m_options),
                  &code);
    m_attached = code == 0;
    return m_attached && WaitForNode().has_value();
}

void EmulatedCamera::Detach() {
    if (!m_attached) {
        return;
    }
    m_attached = false;
    const pid_t pid = Pid();
    if (pid > 0 && kill(pid, SIGTERM) == 0) {
        WaitUntilUnplugged();
    }
}

void EmulatedCamera::Signal(int number) const {
    if (const pid_t pid = Pid(); pid > 0) {
        kill(pid, number);
    }
}

pid_t EmulatedCamera::Pid() const {
    const std::string text = FirstWord(m_state + ".pid");
    return text.empty() ? -1 : static_cast<pid_t>(std::stol(text));
}

std::string EmulatedCamera::State() const {
    return ReadWholeFile(m_state);
}

// What the emulator's `fault` command does, without Python's start: a request file beside the
// state file, the fault signal, and the file's removal once the fault is in force.
bool EmulatedCamera::Fault(const std::string& name, const std::string& argument) {
    const std::string request = m_state + ".fault." + std::to_string(getpid());
    WriteWholeFile(request + ".tmp", "{\"name\": \"" + name + "\", \"arg\": " +
                                         (argument.empty() ? "null" : "\"" + argument + "\"") +
                                         "}");
    fs::rename(request + ".tmp", request);
    Signal(SIGRTMIN + 2);
    if (!WaitUntil([&] { return !fs::exists(request); }, 10s, 5ms)) {
        fs::remove(request);
        return false;
    }
    return true;
}

// Found by its ids: a bus id the emulator reported may belong to another camera by now.
std::string EmulatedCamera::BusId() const {
    std::error_code error;
    for (const fs::directory_entry& device :
         fs::directory_iterator("/sys/bus/usb/devices", error)) {
        if (FirstWord(device.path() / "idVendor") == m_vendor &&
            FirstWord(device.path() / "idProduct") == m_product) {
            return device.path().filename().string();
        }
    }
    return {};
}

std::optional<std::string> EmulatedCamera::Node(int index) const {
    const std::string busId = BusId();
    if (busId.empty()) {
        return std::nullopt;
    }
    std::error_code error;
    const fs::path nodes = "/sys/bus/usb/devices/" + busId + "/" + busId + ":1.0/video4linux";
    for (const fs::directory_entry& entry : fs::directory_iterator(nodes, error)) {
        const std::string name = entry.path().filename().string();
        if (FirstWord(entry.path() / "index") == std::to_string(index) &&
            fs::exists("/dev/" + name)) {
            return "/dev/" + name;
        }
    }
    return std::nullopt;
}

std::optional<std::string> EmulatedCamera::WaitForNode(std::chrono::milliseconds limit) const {
    std::optional<std::string> node;
    WaitUntil(
        [&] {
            node = Node(0);
            return node && Node(1);
        },
        limit, 20ms);
    return node && Node(1) ? node : std::nullopt;
}

bool EmulatedCamera::WaitUntilUnplugged(std::chrono::milliseconds limit) const {
    return WaitUntil(
        [&] { return !Plugged() && State().find("\"plugged\": false") != std::string::npos; },
        limit, 10ms);
}

void EmulatedCamera::Plug() {
    WaitUntilUnplugged();
    Signal(SIGUSR2);
}

int EmulatedCamera::UnexpectedDisconnects() const {
    static const std::regex kCount("\"unexpected_disconnects\": ([0-9]+)");
    std::smatch match;
    const std::string state = State();
    return std::regex_search(state, match, kCount) ? std::stoi(match[1].str()) : 0;
}

std::string EmulatedCamera::Report() const {
    const std::string busId = BusId();
    int code = -1;
    return "\n-- " + m_vendor + ":" + m_product + ", device " +
           (busId.empty() ? "not in sysfs" : busId) + ", nodes " + Node(0).value_or("none") +
           " and " + Node(1).value_or("none") + ", state " + State() + "\n-- the end of " +
           m_trace + ":\n" + vivid::LastLines(ReadWholeFile(m_trace), 12) +
           "-- the kernel's last messages, but for vhci-hcd's lines on every stream stop:\n" +
           Run("dmesg | grep -v -e 'unlink->seqnum' -e 'urb->status' -e 'already given back' | "
               "tail -n 15",
               &code);
}

// ---- UsbMachine ----

UsbMachine& UsbMachine::Get() {
    static UsbMachine machine;
    return machine;
}

void UsbMachine::SetUp() {
    OutputFolder();  // before any case changes the current folder
    // The cameras plug into the machine's own USB: never outside the emulated machine.
    if (ReadWholeFile("/proc/cmdline").find("kvm_vm_cwd=") == std::string::npos) {
        m_whyNot = "not inside the kernel-vm machine (../shared/tools/kernel-vm/run)";
        return;
    }
    if (!fs::exists(EmulatorPath())) {
        m_whyNot = "no USB camera emulator at " + EmulatorPath() + " (USB_CAMERA_EMULATOR)";
        return;
    }
    int code = -1;
    if (fs::exists("/sys/module/vivid")) {
        Run("rmmod vivid", &code);
        if (code != 0) {
            m_whyNot = "vivid is loaded and cannot be unloaded";
            return;
        }
    }
    const std::string modules = Run("modprobe vhci-hcd && modprobe uvcvideo", &code);
    if (code != 0) {
        m_whyNot = "vhci-hcd or uvcvideo cannot be loaded: " + modules;
        return;
    }
    // A USB device left idle is suspended after two seconds, and each open of a suspended
    // emulated camera resets it, which takes the emulator a while; the cameras here stay awake.
    WriteWholeFile("/sys/module/usbcore/parameters/autosuspend", "-1");
    const Clock::time_point start = Clock::now();
    // The cameras are plugged in after it starts: it hears of them itself.
    m_udev = std::make_unique<vivid::UdevDaemon>(false);
    if (!m_udev->Running()) {
        m_whyNot = std::string(vivid::kUdevd) + " did not start (Debian package udev)";
        return;
    }
    const Clock::time_point udev = Clock::now();
    // Another maker's camera first, so that the maker's is listed after it.
    m_other = std::make_unique<EmulatedCamera>(
        "other", "046d", "0825", std::vector<std::string>{"--product-name", "Other Camera"});
    m_maker = std::make_unique<EmulatedCamera>("maker", LUMISIGHT_VENDOR_ID, "2b8a");
    std::string output;
    if (!m_other->Attach(&output) || !m_maker->Attach(&output)) {
        m_whyNot = "the emulated cameras did not plug in: " + output;
        return;
    }
    std::printf("[ MEASURED ] set-up: udev daemon %.1f s, two cameras plugged in %.1f s\n",
                Seconds(udev - start), Seconds(Clock::now() - udev));
    m_whyNot.reset();
}

void UsbMachine::TearDown() {
    m_maker.reset();
    m_other.reset();
    m_udev.reset();
}

bool UsbMachine::BothPlugged() {
    for (EmulatedCamera* camera : {m_other.get(), m_maker.get()}) {
        if (!camera->Plugged() || !camera->Node(0)) {
            camera->Plug();
            if (!camera->WaitForNode()) {
                return false;
            }
        }
    }
    return true;
}

void UsbTest::SetUp() {
    if (const std::optional<std::string>& why = UsbMachine::Get().WhyNot()) {
        GTEST_SKIP() << *why;
    }
    ASSERT_TRUE(UsbMachine::Get().BothPlugged())
        << "the cameras are not both plugged in" << Other().Report() << Maker().Report();
    for (EmulatedCamera* camera : {&Other(), &Maker()}) {
        m_dropped[camera] = camera->UnexpectedDisconnects();
    }
}

// vhci-hcd now and then drops a camera's connection by itself right after a stream stops (the
// emulator's README): not the program's doing, so only noted, and the camera plugged back.
// tools/run-kernel-tests reads the note to run a case that failed meanwhile once more.
void UsbTest::TearDown() {
    if (UsbMachine::Get().WhyNot()) {
        return;
    }
    for (EmulatedCamera* camera : {&Other(), &Maker()}) {
        if (const int dropped = camera->UnexpectedDisconnects(); dropped != m_dropped[camera]) {
            std::printf("[   NOTE   ] vhci-hcd dropped a camera by itself (%d so far)\n", dropped);
        }
    }
    EXPECT_TRUE(UsbMachine::Get().BothPlugged())
        << "a camera did not come back" << Other().Report() << Maker().Report();
}

bool SetUvcNodrop(bool deliver) {
    std::ofstream parameter("/sys/module/uvcvideo/parameters/nodrop");
    parameter << (deliver ? "1" : "0");
    return static_cast<bool>(parameter.flush());
}

// ---- The pattern ----

PatternCode ReadCodeFromYuyv(const std::uint8_t* yuyv, int width, int height) {
    return ReadCode(CellsOf(width, height), [&](int x, int y) {
        return yuyv[(static_cast<std::size_t>(y) * width + x) * 2] > 128;
    });
}

PatternCode ReadCodeFromBgr(const std::uint8_t* bgr, int width, int height, bool bottomUp) {
    return ReadCode(CellsOf(width, height), [&](int x, int y) {
        const int row = bottomUp ? height - 1 - y : y;
        const std::uint8_t* pixel = bgr + (static_cast<std::size_t>(row) * width + x) * 3;
        return pixel[0] + pixel[1] + pixel[2] > 3 * 128;
    });
}

std::vector<std::vector<std::uint8_t>> DrawPatternFrames(const std::vector<PatternFrame>& frames) {
    const std::string folder = fs::path(EmulatorPath()).parent_path().string();
    std::ostringstream script;
    script << "import sys; sys.path.insert(0, " << Quoted(folder) << "); import usb_camera\n"
           << "for w, h, n, b in [";
    std::size_t total = 0;
    for (const PatternFrame& frame : frames) {
        script << "(" << frame.width << ", " << frame.height << ", " << frame.code.frame << ", "
               << frame.code.brightness << "), ";
        total += static_cast<std::size_t>(frame.width) * frame.height * 2;
    }
    script << "]:\n    sys.stdout.buffer.write(usb_camera.TestPattern(w, h).render(n, b))\n";
    int exitCode = -1;
    const std::string drawn = RunShell("python3 -c " + Quoted(script.str()), &exitCode);
    if (exitCode != 0 || drawn.size() != total) {
        return {};
    }
    std::vector<std::vector<std::uint8_t>> result;
    std::size_t at = 0;
    for (const PatternFrame& frame : frames) {
        const std::size_t size = static_cast<std::size_t>(frame.width) * frame.height * 2;
        result.emplace_back(drawn.begin() + static_cast<std::ptrdiff_t>(at),
                            drawn.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    return result;
}

namespace {

DecodedPicture Pixels(FIBITMAP* image) {
    DecodedPicture picture;
    picture.width = static_cast<int>(FreeImage_GetWidth(image));
    picture.height = static_cast<int>(FreeImage_GetHeight(image));
    picture.bgr.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    FreeImage_ConvertToRawBits(picture.bgr.data(), image, picture.width * 3, 24, FI_RGBA_RED_MASK,
                               FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, FALSE);
    FreeImage_Unload(image);
    return picture;
}

}  // namespace

std::optional<DecodedPicture> DecodeJpeg(const fs::path& file) {
    FIBITMAP* image = FreeImage_Load(FIF_JPEG, file.c_str(), JPEG_DEFAULT);
    if (image == nullptr) {
        return std::nullopt;
    }
    return Pixels(image);
}

std::optional<DecodedPicture> ThroughJpeg(const std::vector<std::uint8_t>& bgr, int width,
                                          int height) {
    std::vector<std::uint8_t> rows = bgr;  // the library takes the rows as writable
    FIBITMAP* image =
        FreeImage_ConvertFromRawBits(rows.data(), width, height, width * 3, 24, 0, 0, 0, FALSE);
    FIMEMORY* memory = FreeImage_OpenMemory();
    const bool saved = image != nullptr && memory != nullptr &&
                       FreeImage_SaveToMemory(FIF_JPEG, image, memory, JPEG_DEFAULT);
    FIBITMAP* decoded = saved && FreeImage_SeekMemory(memory, 0, SEEK_SET)
                            ? FreeImage_LoadFromMemory(FIF_JPEG, memory, JPEG_DEFAULT)
                            : nullptr;
    if (image != nullptr) {
        FreeImage_Unload(image);
    }
    if (memory != nullptr) {
        FreeImage_CloseMemory(memory);
    }
    if (decoded == nullptr) {
        return std::nullopt;
    }
    return Pixels(decoded);
}

void PrintMeasured(const std::string& what, const std::vector<double>& milliseconds) {
    if (milliseconds.empty()) {
        return;
    }
    std::vector<double> sorted = milliseconds;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::string runs;
    for (const double ms : milliseconds) {
        runs += (runs.empty() ? "" : ", ") + std::to_string(static_cast<long long>(ms));
    }
    std::printf("[ MEASURED ] %s: median %.0f ms (runs: %s ms)\n", what.c_str(), median,
                runs.c_str());
    std::string key = what + " ms";
    std::replace(key.begin(), key.end(), ' ', '_');
    ::testing::Test::RecordProperty(key, std::to_string(static_cast<long long>(median)));
}

}  // namespace usb
