#include "linux/window/qt_modal_loop.h"

#include <QEventLoop>

#include "linux/window/window_presenter.h"

QtModalLoop::QtModalLoop() = default;
QtModalLoop::~QtModalLoop() = default;

// The native window is made now, with its title, though nothing is shown yet: another copy of
// the program that looks for the title while this one is still starting finds it.
void QtModalLoop::Prepare(DialogBase& dialog) {
    m_presenter = std::make_unique<WindowPresenter>(dialog.Window());
    m_presenter->winId();
}

void QtModalLoop::Run(DialogBase& dialog) {
    if (!m_presenter) {
        Prepare(dialog);
    }
    m_presenter->show();
    m_presenter->raise();
    m_presenter->activateWindow();
    // A handler run while showing may already have ended the dialog.
    if (dialog.IsEnded()) {
        return;
    }
    QEventLoop loop;
    QEventLoop* const outer = m_loop;
    m_loop = &loop;
    loop.exec();
    m_loop = outer;
}

void QtModalLoop::Quit() {
    if (m_loop != nullptr) {
        m_loop->quit();
    }
}

void QtModalLoop::Dismiss(DialogBase& /*dialog*/) {
    m_presenter.reset();
}
