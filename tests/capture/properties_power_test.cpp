// The driver's settings dialog and the reaction to power broadcasts.

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include "capture_test_support.h"
#include "linux/emulated_camera/virtual_camera.h"
#include "linux/window/properties_dialog.h"
#include "platform/dialog_window.h"
#include "v4l2_window_fixture.h"

namespace {

constexpr unsigned kPowerBroadcast = 0x218;

DeviceControl Brightness() {
    DeviceControl control;
    control.id = 1;
    control.name = "Brightness";
    control.maximum = 255;
    control.defaultValue = 128;
    return control;
}

class DevicePropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        fixture.media.controls = {Brightness()};
        ASSERT_TRUE(fixture.Start());
        fixture.NewMessages();
    }
    CWebcamDlg& dialog() { return *fixture.dialog; }

    CaptureFixture fixture;
};

TEST_F(DevicePropertiesTest, OpensTheSettingsAtThirtyThirtyAndTracksThatTheyAreOpen) {
    bool openWhileShown = false;
    fixture.media.onPropertyFrame = [&](const PropertyFrameRequest&, PropertyPages& pages) {
        openWhileShown = dialog().m_pSpecifyPages == &pages;
    };
    dialog().ShowDeviceProperties();
    EXPECT_TRUE(openWhileShown);
    EXPECT_EQ(dialog().m_pSpecifyPages, nullptr);
    ASSERT_EQ(fixture.media.record.propertyFramesShown, 1);
    const PropertyFrameRequest& request = *fixture.media.record.lastPropertyFrame;
    EXPECT_EQ(request.position, (Point{30, 30}));
    EXPECT_EQ(request.caption, "Video Capture");
    EXPECT_EQ(request.title, "Video Capture Properties");
    EXPECT_EQ(request.ownerTitle, dialog().Window().Title());
    // The button shows its normal face again.
    EXPECT_EQ(dialog().m_hwndButton[3]->Image(), dialog().m_hbmButton[3][0].get());
    EXPECT_TRUE(fixture.NewMessages().empty());
}

TEST_F(DevicePropertiesTest, ShowsNothingWithoutACameraOrWithoutSettings) {
    fixture.media.controls.clear();
    dialog().ShowDeviceProperties();
    dialog().ReleaseStillGraph();
    fixture.media.controls = {Brightness()};
    dialog().ShowDeviceProperties();
    EXPECT_EQ(fixture.media.record.propertyFramesShown, 0);
    EXPECT_EQ(dialog().m_pSpecifyPages, nullptr);
    EXPECT_TRUE(fixture.NewMessages().empty());
}

TEST_F(DevicePropertiesTest, SuspendClosesOpenSettingsByTitleAndEndsTheWindow) {
    for (const bool chinese : {false, true}) {
        SCOPED_TRACE(chinese);
        dialog().m_bChinese = chinese;
        const std::string title = chinese ? "Video Capture 內容" : "Video Capture Properties";
        fixture.media.onPropertyFrame = [&](const PropertyFrameRequest& request, PropertyPages&) {
            EXPECT_EQ(request.title, title);
            const WindowRef frame = fixture.harness.Windows().AddWindow(title);
            dialog().WindowProc(kPowerBroadcast, 4, 0);
            ASSERT_FALSE(fixture.harness.Windows().Closed().empty());
            EXPECT_EQ(fixture.harness.Windows().Closed().back(), frame);
        };
        dialog().ShowDeviceProperties();
        EXPECT_TRUE(dialog().IsEnded());
        EXPECT_EQ(dialog().Result(), 4);
        EXPECT_EQ(fixture.NewMessages(),
                  std::vector<std::string>{"WM_POWERBROADCAST 00000218 00000004"});
        EXPECT_EQ(dialog().m_pSpecifyPages, nullptr);
        ASSERT_TRUE(fixture.Start());  // a fresh window for the second language
        fixture.media.controls = {Brightness()};
        fixture.NewMessages();
    }
}

TEST_F(DevicePropertiesTest, SuspendWithoutOpenSettingsDoesNotSearchForThem) {
    for (const std::uintptr_t event : {0u, 4u}) {
        ASSERT_TRUE(fixture.Start());
        fixture.NewMessages();
        dialog().WindowProc(kPowerBroadcast, event, 0);
        EXPECT_TRUE(fixture.harness.Windows().Searches().empty());
        EXPECT_TRUE(dialog().IsEnded());
        EXPECT_EQ(dialog().Result(), 4);
        char expected[40];
        std::snprintf(expected, sizeof expected, "WM_POWERBROADCAST 00000218 %08X",
                      static_cast<unsigned>(event));
        EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{expected});
    }
}

TEST_F(DevicePropertiesTest, OtherPowerEventsAreOnlyLogged) {
    for (const std::uintptr_t event : {1u, 5u, 7u, 10u}) {
        dialog().WindowProc(kPowerBroadcast, event, 0);
    }
    EXPECT_FALSE(dialog().IsEnded());
    EXPECT_EQ(fixture.NewMessages(),
              (std::vector<std::string>{
                  "WM_POWERBROADCAST 00000218 00000001", "WM_POWERBROADCAST 00000218 00000005",
                  "WM_POWERBROADCAST 00000218 00000007", "WM_POWERBROADCAST 00000218 0000000A"}));
    dialog().WindowProc(0x10, 4, 0);  // not a power broadcast
    EXPECT_FALSE(dialog().IsEnded());
    EXPECT_TRUE(fixture.NewMessages().empty());
}

TEST_F(DevicePropertiesTest, SleepNoticesArriveAsPowerBroadcastsWhileTheCameraRuns) {
    EXPECT_EQ(fixture.power.liveWatches, 1);
    fixture.power.EmitSleep(false);
    EXPECT_FALSE(dialog().IsEnded());
    fixture.power.EmitSleep(true);
    EXPECT_TRUE(dialog().IsEnded());
    EXPECT_EQ(dialog().Result(), 4);
    EXPECT_EQ(fixture.NewMessages(),
              (std::vector<std::string>{"WM_POWERBROADCAST 00000218 00000007",
                                        "WM_POWERBROADCAST 00000218 00000004"}));
    // The watch (and with it the sleep delay) ends once the window has closed the camera.
    fixture.harness.Stop();
    EXPECT_EQ(fixture.power.liveWatches, 0);
}

QString ControlName(std::uint32_t id) {
    return QStringLiteral("control-%1").arg(id);
}

double LatestMeanLuma(CWebcamDlg& dialog) {
    FrameGateReader reader(dialog);
    const FrameView frame = reader.Latest();
    double sum = 0;
    for (std::int32_t i = 0; i < frame.length; i += 2) {
        sum += frame.data[i];
    }
    return frame.length > 0 ? sum / (frame.length / 2) : 0.0;
}

TEST(PropertiesDialogTest, ListsTheVirtualCamerasSettingsAndAppliesThemLive) {
    V4l2WindowFixture fixture;
    ASSERT_TRUE(fixture.harness.Start(*fixture.dialog));
    CWebcamDlg& dialog = *fixture.dialog;
    std::unique_ptr<PropertyPages> pages;
    ASSERT_EQ(dialog.m_pCapture->QuerySpecifyPropertyPages(&pages), S_OK_RESULT);
    QWidget mainWindow;  // stands for the main window on screen
    mainWindow.setWindowTitle(QStringLiteral("Vantor Lumisight webcam"));
    mainWindow.show();
    PropertyFrameRequest request;
    request.ownerTitle = "Vantor Lumisight webcam";
    request.title = "Video Capture Properties";
    std::unique_ptr<QDialog> settings = CreatePropertiesDialog(request, *pages);
    EXPECT_EQ(settings->windowTitle(), "Video Capture Properties");
    // A dialog of the main window (its transient child), wherever the desktop places it.
    EXPECT_EQ(settings->parentWidget(), &mainWindow);
    EXPECT_TRUE(settings->isWindow());

    auto* brightness = settings->findChild<QSlider*>(ControlName(V4L2_CID_BRIGHTNESS));
    ASSERT_NE(brightness, nullptr);
    EXPECT_EQ(brightness->value(), 128);
    EXPECT_NE(settings->findChild<QSlider*>(ControlName(V4L2_CID_CONTRAST)), nullptr);
    EXPECT_NE(settings->findChild<QCheckBox*>(ControlName(V4L2_CID_HFLIP)), nullptr);
    auto* powerLine = settings->findChild<QComboBox*>(ControlName(V4L2_CID_POWER_LINE_FREQUENCY));
    ASSERT_NE(powerLine, nullptr);
    EXPECT_EQ(powerLine->count(), 3);
    EXPECT_EQ(powerLine->currentText(), "50 Hz");

    ASSERT_TRUE(WaitUntil([&] { return LatestMeanLuma(dialog) > 0; }));
    const double before = LatestMeanLuma(dialog);
    brightness->setValue(240);
    std::int32_t value = 0;
    ASSERT_EQ(pages->GetValue(V4L2_CID_BRIGHTNESS, &value), S_OK_RESULT);
    EXPECT_EQ(value, 240);
    EXPECT_TRUE(WaitUntil([&] { return LatestMeanLuma(dialog) > before + 60; }));

    powerLine->setCurrentIndex(2);
    ASSERT_EQ(pages->GetValue(V4L2_CID_POWER_LINE_FREQUENCY, &value), S_OK_RESULT);
    EXPECT_EQ(value, 2);

    settings->findChild<QPushButton*>("restore-defaults")->click();
    ASSERT_EQ(pages->GetValue(V4L2_CID_BRIGHTNESS, &value), S_OK_RESULT);
    EXPECT_EQ(value, 128);
    EXPECT_EQ(brightness->value(), 128);
    EXPECT_EQ(powerLine->currentText(), "50 Hz");
}

// A camera whose firmware refuses a setting it offers: the widget springs back to the value
// the camera kept and the refusal is logged; the dialog and the other settings go on working.
struct RefusalRow {
    const char* name;
    std::uint32_t id;
    std::function<void(QDialog&)> change;
    std::function<std::int32_t(QDialog&)> shown;
};

void PrintTo(const RefusalRow& row, std::ostream* out) {
    *out << row.name;
}

class RefusedSettingTest : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(RefusedSettingTest, TheWidgetSpringsBackToTheCamerasValueWithALogLine) {
    const RefusalRow& row = GetParam();
    auto io = std::make_shared<VirtualCameraIo>(VirtualCameraOptions{});
    io->SetFaults({.refusedControls = {row.id}});
    CaptureOptions options = V4l2WindowFixture::VirtualOnly();
    options.virtualDevice = io;
    V4l2WindowFixture fixture(options);
    ASSERT_TRUE(fixture.harness.Start(*fixture.dialog));
    std::unique_ptr<PropertyPages> pages;
    ASSERT_EQ(fixture.dialog->m_pCapture->QuerySpecifyPropertyPages(&pages), S_OK_RESULT);
    std::unique_ptr<QDialog> settings = CreatePropertiesDialog(PropertyFrameRequest{}, *pages);
    std::int32_t kept = 0;
    ASSERT_EQ(pages->GetValue(row.id, &kept), S_OK_RESULT);

    row.change(*settings);
    EXPECT_EQ(row.shown(*settings), kept);
    std::int32_t value = -1;
    ASSERT_EQ(pages->GetValue(row.id, &value), S_OK_RESULT);
    EXPECT_EQ(value, kept);
    const std::vector<std::string> log = fixture.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("Camera refused the setting \"", 0), 0u) << log.back();
    EXPECT_NE(log.back().find("(0x80070005)"), std::string::npos) << log.back();

    auto* contrast = settings->findChild<QSlider*>(ControlName(V4L2_CID_CONTRAST));
    ASSERT_NE(contrast, nullptr);
    contrast->setValue(30);
    ASSERT_EQ(pages->GetValue(V4L2_CID_CONTRAST, &value), S_OK_RESULT);
    EXPECT_EQ(value, 30);
    EXPECT_EQ(fixture.Log().size(), log.size()) << "an accepted setting is not logged";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RefusedSettingTest,
    ::testing::Values(
        RefusalRow{"slider", V4L2_CID_BRIGHTNESS,
                   [](QDialog& d) {
                       d.findChild<QSlider*>(ControlName(V4L2_CID_BRIGHTNESS))->setValue(200);
                   },
                   [](QDialog& d) {
                       auto* spin = d.findChild<QSpinBox*>(ControlName(V4L2_CID_BRIGHTNESS) +
                                                           QStringLiteral("-spin"));
                       const int slider =
                           d.findChild<QSlider*>(ControlName(V4L2_CID_BRIGHTNESS))->value();
                       return spin->value() == slider ? slider : -1;
                   }},
        RefusalRow{"check_box", V4L2_CID_HFLIP,
                   [](QDialog& d) {
                       d.findChild<QCheckBox*>(ControlName(V4L2_CID_HFLIP))->setChecked(true);
                   },
                   [](QDialog& d) {
                       return d.findChild<QCheckBox*>(ControlName(V4L2_CID_HFLIP))->isChecked() ? 1
                                                                                                : 0;
                   }},
        RefusalRow{"menu", V4L2_CID_POWER_LINE_FREQUENCY,
                   [](QDialog& d) {
                       d.findChild<QComboBox*>(ControlName(V4L2_CID_POWER_LINE_FREQUENCY))
                           ->setCurrentIndex(2);
                   },
                   [](QDialog& d) {
                       auto* combo =
                           d.findChild<QComboBox*>(ControlName(V4L2_CID_POWER_LINE_FREQUENCY));
                       return combo->currentData().toInt();
                   }}),
    [](const ::testing::TestParamInfo<RefusalRow>& info) { return info.param.name; });

TEST(PropertiesDialogTest, SimulatedSuspendClosesTheOpenDialogAndEndsTheWindow) {
    V4l2WindowFixture fixture;
    ASSERT_TRUE(fixture.harness.Start(*fixture.dialog));
    CWebcamDlg& dialog = *fixture.dialog;
    bool sawOpenDialog = false;
    // Runs inside the settings dialog's modal loop.
    QTimer::singleShot(50, [&] {
        sawOpenDialog = dialog.m_pSpecifyPages != nullptr &&
                        fixture.windows.Find("Video Capture Properties").has_value();
        dialog.WindowProc(kPowerBroadcast, 4, 0);
    });
    // A safety net: a dialog that did not close would otherwise hang the test.
    QTimer::singleShot(5000, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    dialog.ShowDeviceProperties();
    EXPECT_TRUE(sawOpenDialog);
    EXPECT_TRUE(dialog.IsEnded());
    EXPECT_EQ(dialog.Result(), 4);
    EXPECT_EQ(dialog.m_pSpecifyPages, nullptr);
    EXPECT_TRUE(fixture.LogHas("WM_POWERBROADCAST 00000218 00000004"));
}

TEST(PropertiesDialogTest, CameraWithoutSettingsShowsNothing) {
    CaptureOptions options = V4l2WindowFixture::VirtualOnly({.noControls = true});
    V4l2WindowFixture fixture(options);
    ASSERT_TRUE(fixture.harness.Start(*fixture.dialog));
    std::unique_ptr<PropertyPages> pages;
    EXPECT_NE(fixture.dialog->m_pCapture->QuerySpecifyPropertyPages(&pages), S_OK_RESULT);
    fixture.dialog->ShowDeviceProperties();  // returns at once: no modal loop to end
    EXPECT_EQ(fixture.dialog->m_pSpecifyPages, nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
