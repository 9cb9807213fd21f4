#pragma once

// The real modal loop: shows the dialog's window in a WindowPresenter and runs a Qt event loop
// until the dialog ends.

#include "platform/dialog.h"

class QEventLoop;

class QtModalLoop : public ModalLoop {
public:
    void Run(DialogBase& dialog) override;
    // Ends the running loop; does nothing when none runs (a dialog ended before its loop).
    void Quit() override;

private:
    QEventLoop* m_loop = nullptr;  // the loop of the running Run(), not owned
};
