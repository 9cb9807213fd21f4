#include "linux/window/qt_task_poster.h"

#include <QMetaObject>
#include <QObject>
#include <utility>

// Receives the wake-up on the user-interface thread. It is asked by the name of its slot, so
// the queued call Qt makes carries nothing of ours: no object made on the posting thread is
// read on the other one behind the checker's back.
class QtTaskPoster::Waker : public QObject {
    Q_OBJECT
public:
    explicit Waker(QtTaskPoster& poster) : m_poster(poster) {}

    void Wake() { QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection); }

public slots:
    void RunPosted() { m_poster.RunPosted(); }

private:
    QtTaskPoster& m_poster;
};

QtTaskPoster::QtTaskPoster() : m_waker(std::make_unique<Waker>(*this)) {}

QtTaskPoster::~QtTaskPoster() = default;

void QtTaskPoster::Post(std::function<void()> work) {
    bool first = false;
    {
        const std::lock_guard lock(m_mutex);
        first = m_posted.empty();
        m_posted.push_back(std::move(work));
    }
    // One wake-up for a run of posts: the first of them finds the queue empty, and whatever
    // joins it before the user-interface thread takes the queue runs with it.
    if (first) {
        m_waker->Wake();
    }
}

void QtTaskPoster::RunPosted() {
    std::vector<std::function<void()>> posted;
    {
        const std::lock_guard lock(m_mutex);
        posted.swap(m_posted);
    }
    // Without the lock: work may post more, which waits for the next wake-up.
    for (std::function<void()>& work : posted) {
        work();
    }
}

#include "qt_task_poster.moc"
