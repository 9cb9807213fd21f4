// The camera settings dialog built from vivid's controls, which include every control type the
// kernel has: each one gets the widget of its kind or is left out, and changes reach the driver.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include "vivid_support.h"

namespace vivid {
namespace {

using PropertiesTest = VividTest;

QWidget* ControlWidget(QWidget& dialog, std::uint32_t id) {
    return dialog.findChild<QWidget*>(QStringLiteral("control-%1").arg(id));
}

// The widget class a control of this kind is shown with, or null for a control left out.
const char* ExpectedWidget(const Control& control) {
    if (control.dims > 0 || (control.flags & V4L2_CTRL_FLAG_DISABLED)) {
        return nullptr;
    }
    switch (control.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            return "QSlider";
        case V4L2_CTRL_TYPE_BOOLEAN:
            return "QCheckBox";
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            return "QComboBox";
        case V4L2_CTRL_TYPE_BUTTON:
            return "QPushButton";
        default:
            return nullptr;
    }
}

void CheckEveryControl(QDialog& settings, const SideDoor& door) {
    for (const Control& control : door.Controls()) {
        QWidget* widget = ControlWidget(settings, control.id);
        const char* expected = ExpectedWidget(control);
        if (expected == nullptr) {
            EXPECT_EQ(widget, nullptr) << control.name << " should be left out";
            continue;
        }
        ASSERT_NE(widget, nullptr) << control.name << " has no widget";
        EXPECT_TRUE(widget->inherits(expected)) << control.name;
        // While the camera streams, vivid holds some settings (grabbed): they are greyed too.
        const bool editable = !(control.flags & (V4L2_CTRL_FLAG_READ_ONLY |
                                                 V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_GRABBED));
        EXPECT_EQ(widget->isEnabled(), editable) << control.name;
        // A setting shows the driver's value; read-only and volatile ones change by themselves.
        std::int32_t value = 0;
        auto* slider = qobject_cast<QSlider*>(widget);
        if (slider != nullptr && editable && !(control.flags & V4L2_CTRL_FLAG_VOLATILE) &&
            door.Get(control.id, &value) == 0) {
            EXPECT_EQ(slider->value(), value) << control.name;
        }
    }
}

TEST_F(PropertiesTest, EveryControlTypeGetsItsWidgetOrIsLeftOut) {
    Window window;
    ASSERT_TRUE(window.Start());
    SideDoor door;
    const std::vector<Control> controls = door.Controls();
    // vivid offers every kind a driver can have; the dialog meets them all.
    const auto has = [&](auto predicate) {
        return std::any_of(controls.begin(), controls.end(), predicate);
    };
    EXPECT_TRUE(has([](const Control& c) { return c.type == V4L2_CTRL_TYPE_INTEGER64; }));
    EXPECT_TRUE(has([](const Control& c) { return c.type == V4L2_CTRL_TYPE_STRING; }));
    EXPECT_TRUE(has([](const Control& c) { return c.type == V4L2_CTRL_TYPE_AREA; }));
    EXPECT_TRUE(has([](const Control& c) { return c.dims > 0; }));
    EXPECT_TRUE(has([](const Control& c) { return c.flags & V4L2_CTRL_FLAG_READ_ONLY; }));
    EXPECT_TRUE(has([](const Control& c) { return c.flags & V4L2_CTRL_FLAG_INACTIVE; }));
    EXPECT_TRUE(has([](const Control& c) { return c.flags & V4L2_CTRL_FLAG_VOLATILE; }));

    EXPECT_TRUE(WithOpenSettings(*window.dialog,
                                 [&](QDialog& settings) { CheckEveryControl(settings, door); }));
    EXPECT_EQ(window.dialog->m_pSpecifyPages, nullptr);
    // The window goes on running after the dialog.
    EXPECT_TRUE(WaitForFrame(kBytes640x480));
}

TEST_F(PropertiesTest, ChangesAndRestoredDefaultsReachTheDriver) {
    Window window;
    ASSERT_TRUE(window.Start());
    SideDoor door;
    const std::uint32_t menuId = door.ControlId("menu");
    ASSERT_NE(menuId, 0u);

    std::int32_t brightness = 0;
    std::int32_t flip = 0;
    std::int32_t menu = 0;
    const bool opened = WithOpenSettings(*window.dialog, [&](QDialog& settings) {
        auto* slider = qobject_cast<QSlider*>(ControlWidget(settings, V4L2_CID_BRIGHTNESS));
        auto* spin = settings.findChild<QSpinBox*>(
            QStringLiteral("control-%1-spin").arg(V4L2_CID_BRIGHTNESS));
        auto* box = qobject_cast<QCheckBox*>(ControlWidget(settings, V4L2_CID_HFLIP));
        auto* combo = qobject_cast<QComboBox*>(ControlWidget(settings, menuId));
        ASSERT_TRUE(slider != nullptr && spin != nullptr && box != nullptr && combo != nullptr);

        slider->setValue(200);
        EXPECT_EQ(spin->value(), 200);
        EXPECT_EQ(door.Get(V4L2_CID_BRIGHTNESS, &brightness), 0);
        EXPECT_EQ(brightness, 200);
        spin->setValue(37);
        door.Get(V4L2_CID_BRIGHTNESS, &brightness);
        EXPECT_EQ(brightness, 37);

        box->setChecked(true);
        door.Get(V4L2_CID_HFLIP, &flip);
        EXPECT_EQ(flip, 1);
        // vivid's menu has a hole; only the items it names are offered.
        ASSERT_GT(combo->count(), 1);
        combo->setCurrentIndex(combo->count() - 1);
        door.Get(menuId, &menu);
        EXPECT_EQ(menu, combo->itemData(combo->count() - 1).toInt());

        auto* restore = settings.findChild<QPushButton*>(QStringLiteral("restore-defaults"));
        ASSERT_NE(restore, nullptr);
        restore->click();
        door.Get(V4L2_CID_BRIGHTNESS, &brightness);
        EXPECT_EQ(brightness, 128);
        EXPECT_EQ(slider->value(), 128);
        door.Get(V4L2_CID_HFLIP, &flip);
        EXPECT_EQ(flip, 0);
        EXPECT_FALSE(box->isChecked());
    });
    EXPECT_TRUE(opened);
    door.Set(V4L2_CID_BRIGHTNESS, 128);
    door.Set(V4L2_CID_HFLIP, 0);
}

TEST_F(PropertiesTest, NoCameraMeansNoSettingsDialog) {
    Window window(Window::Sysfs::Real);
    EXPECT_FALSE(window.Start());
    EXPECT_FALSE(WithOpenSettings(*window.dialog, [](QDialog&) {}));
}

}  // namespace
}  // namespace vivid
