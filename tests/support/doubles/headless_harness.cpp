#include "support/doubles/headless_harness.h"

#include <QApplication>
#include <QImage>
#include <QMetaObject>
#include <memory>
#include <thread>

#include "platform/dialog_window.h"
#include "platform/preview_surface.h"

namespace {

// More repaints in a row than this means a paint handler that invalidates its own window.
constexpr int kMaxRepaintsPerPump = 16;

}  // namespace

void EnsureQtApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "lumisight-tests";
    static char* argv[] = {name, nullptr};
    // Lives until the process ends and is deliberately never destroyed: Qt's own process-wide
    // objects made later (input devices, font caches) are torn down at exit before a static
    // made now would be, and an application object destroyed after them crashes.
    [[maybe_unused]] static QApplication& application = *new QApplication(argc, argv);
}

void ImmediateModalLoop::Run(DialogBase& dialog) {
    ++m_runCount;
    if (m_body) {
        m_body(dialog);
    }
}

HeadlessHarness::HeadlessHarness()
    : m_services{m_clock, m_messageBoxes, m_windows, m_loop, m_tasks} {
    EnsureQtApplication();
}

HeadlessHarness::~HeadlessHarness() = default;

bool HeadlessHarness::Start(DialogBase& dialog) {
    Stop();
    m_dialog = &dialog;
    const bool initialised = dialog.CreateAndInitialise();
    if (dialog.HasWindow()) {
        dialog.Window().Preview().SetFrameReadyCallback(
            [this] { m_frameReady.store(true, std::memory_order_release); });
        Pump();
    }
    return initialised;
}

void HeadlessHarness::Stop() {
    if (m_dialog != nullptr && m_dialog->HasWindow()) {
        m_dialog->Window().Preview().SetFrameReadyCallback({});
        m_dialog->DestroyWindow();
    }
    m_dialog = nullptr;
}

int HeadlessHarness::Pump() {
    m_tasks.RunPending();
    if (m_dialog == nullptr || !m_dialog->HasWindow()) {
        return 0;
    }
    DialogWindow& window = m_dialog->Window();
    if (m_frameReady.exchange(false, std::memory_order_acq_rel)) {
        window.PaintPreview();
    }
    int repaints = 0;
    while (window.HasDirtyArea() && repaints < kMaxRepaintsPerPump) {
        window.UpdateWindow();
        ++repaints;
    }
    return repaints;
}

void HeadlessHarness::Advance(long long ms) {
    const long long target = m_clock.Now() + std::max(ms, 0LL);
    Pump();
    while (m_clock.FireNext(target)) {
        Pump();
    }
    m_clock.SetNow(target);
}

void HeadlessHarness::MouseMove(Point point, unsigned flags) {
    m_dialog->OnMouseMove(flags, point);
    Pump();
}

void HeadlessHarness::LButtonDown(Point point, unsigned flags) {
    m_dialog->OnLButtonDown(flags, point);
    Pump();
}

void HeadlessHarness::LButtonUp(Point point, unsigned flags) {
    m_dialog->OnLButtonUp(flags, point);
    Pump();
}

void HeadlessHarness::LButtonDblClk(Point point, unsigned flags) {
    m_dialog->OnLButtonDblClk(flags, point);
    Pump();
}

void HeadlessHarness::Click(Point point, unsigned flags) {
    LButtonDown(point, flags | MK_LBUTTON);
    LButtonUp(point, flags & ~MK_LBUTTON);
}

void HeadlessHarness::Scroll(int code, int position) {
    m_dialog->OnHScroll(code, position);
    Pump();
}

bool HeadlessHarness::Key(int virtualKey, unsigned flags) {
    const bool handled = m_dialog->PreTranslateMessage(KeyMessage{WM_KEYDOWN, virtualKey});
    if (!handled && virtualKey == VK_ESCAPE) {
        m_dialog->OnCancel();
    } else if (!handled) {
        m_dialog->OnKeyDown(flags, virtualKey);
    }
    if (m_dialog->HasWindow()) {
        m_dialog->PreTranslateMessage(KeyMessage{WM_KEYUP, virtualKey});
    }
    Pump();
    return handled;
}

Color HeadlessHarness::PixelAt(int x, int y) const {
    return m_dialog->Window().PixelAt(x, y);
}

bool HeadlessHarness::SavePng(const std::string& path) const {
    return m_dialog->Window().ClientImage().save(QString::fromStdString(path), "PNG");
}
