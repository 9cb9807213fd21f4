#pragma once

// A CWebcamDlg on the headless window layer with a capture double, a recording desktop "open",
// its own environment variables and a temporary working folder (for "Debug", "Message" and
// "FileList.txt") and Pictures folder. Tests set the doubles up, then Start().

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/webcam_dlg.h"
#include "capture/still_graph.h"
#include "pictures/picture_scan.h"
#include "platform/diagnostic_log.h"
#include "platform/shell.h"
#include "support/doubles/fake_media_framework.h"
#include "support/doubles/fake_power_notices.h"
#include "support/doubles/headless_harness.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

class RecordingShell : public Shell {
public:
    int Open(const std::string& path) override {
        opened.push_back(path);
        return result;
    }
    std::vector<std::string> opened;
    int result = 42;
};

class WebcamFixture {
public:
    WebcamFixture() {
        g_bLogEnabled = false;
        g_bProbeHighRes = true;  // every test is a fresh process start
        std::filesystem::create_directories(m_pictures);
        media.devices = {FakeMediaFramework::MakerDevice()};
        variables["LANG"] = "en_US.UTF-8";
        variables["HOME"] = m_work.Path().string();
    }
    ~WebcamFixture() {
        harness.Stop();
        g_bLogEnabled = false;
    }

    // Creates the dialog (its constructor decides about logging) and runs OnInitDialog.
    bool Start() {
        Create();
        return harness.Start(*dialog);
    }
    CWebcamDlg& Create() {
        if (!dialog) {
            dialog = std::make_unique<CWebcamDlg>(environment);
        }
        return *dialog;
    }

    // Runs the window's thread until the start-up scan has delivered every thumbnail.
    void FinishScan() {
        ASSERT_TRUE(WaitUntil(
            [this] {
                harness.Pump();
                return dialog->m_scan == nullptr;
            },
            std::chrono::seconds(20)))
            << "the thumbnails did not arrive";
    }
    // Starts the window and waits for its thumbnails.
    bool StartAndFinishScan() {
        const bool started = Start();
        FinishScan();
        return started;
    }

    void EnableLog() { WriteWholeFile(m_work / "Debug", ""); }
    std::string Log() const { return ReadWholeFile(m_work / "Message"); }
    const std::filesystem::path& WorkDir() const { return m_work.Path(); }
    const std::filesystem::path& PicturesDir() const { return m_pictures; }

    HeadlessHarness harness;
    FakeMediaFramework media;
    FakePowerNotices power;
    RecordingShell shell;
    std::map<std::string, std::string> variables;

private:
    TempDir m_work;
    CurrentDirectoryGuard m_cwd{m_work.Path()};
    std::filesystem::path m_pictures = m_work / "Pictures";

public:
    WebcamEnvironment environment{.platform = harness.Services(),
                                  .media = media,
                                  .power = power,
                                  .shell = shell,
                                  .getenv = [this](const char* name) -> const char* {
                                      const auto it = variables.find(name);
                                      return it == variables.end() ? nullptr : it->second.c_str();
                                  },
                                  .picturesDirOverride = m_pictures.string(),
                                  .allocatePool = nullptr};
    std::unique_ptr<CWebcamDlg> dialog;
};
