#pragma once

// The real modal loop: puts the dialog's window on the desktop in a WindowPresenter as soon as
// the window exists (titled, hidden), shows it and runs a Qt event loop until the dialog ends.

#include <memory>

#include "platform/dialog.h"

class QEventLoop;
class WindowPresenter;

class QtModalLoop : public ModalLoop {
public:
    QtModalLoop();
    ~QtModalLoop() override;

    void Prepare(DialogBase& dialog) override;
    void Run(DialogBase& dialog) override;
    // Ends the running loop; does nothing when none runs (a dialog ended before its loop).
    void Quit() override;
    void Dismiss(DialogBase& dialog) override;

private:
    std::unique_ptr<WindowPresenter> m_presenter;
    QEventLoop* m_loop = nullptr;  // the loop of the running Run(), not owned
};
