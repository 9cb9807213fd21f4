#include "platform/qt_modal_loop.h"

#include <QEventLoop>

#include "platform/window_presenter.h"

void QtModalLoop::Run(DialogBase& dialog) {
    WindowPresenter presenter(dialog.Window());
    presenter.show();
    presenter.raise();
    presenter.activateWindow();
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
