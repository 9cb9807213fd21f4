#include "linux/window/qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "linux/window/window_presenter.h"

namespace {

constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kButtonMask = 0x0F;
constexpr unsigned kIconHand = 0x10;
constexpr unsigned kIconAsterisk = 0x40;

QMessageBox::Icon IconFor(unsigned style) {
    switch (style & kIconMask) {
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case kIconHand:
            return QMessageBox::Critical;
        case kIconAsterisk:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// The box belongs to the main window whether or not that window is the active one, so that
// the desktop keeps it with the window (a transient child on X11 and on Wayland). Before the
// window is on screen there is nothing to belong to.
QWidget* Owner() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && dynamic_cast<WindowPresenter*>(widget) != nullptr) {
            return widget;
        }
    }
    return nullptr;
}

}  // namespace

int QtMessageBoxes::Show(const std::string& text, const std::string& caption, unsigned style) {
    const bool yesNo = (style & kButtonMask) == MB_YESNO;
    QMessageBox box(IconFor(style), QString::fromStdString(caption), QString::fromStdString(text),
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, Owner());
    const int answer = box.exec();
    if (yesNo) {
        // Closing a Yes/No box without choosing counts as No, the harmless answer.
        return answer == QMessageBox::Yes ? IDYES : IDNO;
    }
    return IDOK;
}
