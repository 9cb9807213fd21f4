// render_window OUT.png [PICTURES_DIR]
//
// Starts the real main window without a display, with a camera double that accepts every
// request, lets its timers draw the strip and the resolution label, and saves the client area.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/webcam_dlg.h"
#include "platform/shell.h"
#include "support/doubles/fake_media_framework.h"
#include "support/doubles/fake_power_notices.h"
#include "support/doubles/headless_harness.h"

namespace {

class NoShell : public Shell {
public:
    int Open(const std::string&) override { return 42; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [PICTURES_DIR]\n", argv[0]);
        return 2;
    }
    EnsureQtApplication();
    HeadlessHarness harness;
    FakeMediaFramework media;
    media.devices = {FakeMediaFramework::MakerDevice()};
    FakePowerNotices power;
    NoShell shell;
    WebcamEnvironment environment{
        .platform = harness.Services(),
        .media = media,
        .power = power,
        .shell = shell,
        .getenv = [](const char* name) { return std::getenv(name); },
        .picturesDirOverride = argc > 2 ? std::optional<std::string>(argv[2]) : std::nullopt,
        .allocatePool = nullptr};
    auto dialog = std::make_unique<CWebcamDlg>(environment);
    if (!harness.Start(*dialog)) {
        std::fprintf(stderr, "the window did not start\n");
        return 1;
    }
    harness.Advance(100);  // the strip and the resolution label are drawn by their timers
    const bool saved = harness.SavePng(argv[1]);
    harness.Stop();
    return saved ? 0 : 1;
}
