#include "platform/qt_task_poster.h"

#include <QCoreApplication>
#include <QMetaObject>

void QtTaskPoster::Post(std::function<void()> work) {
    // Queued to the application object, which lives on the user-interface thread and outlives
    // every window: the work runs when that thread's event loop next runs.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}
