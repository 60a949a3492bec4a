#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include "link/EventPump.h"

namespace kestrix {

bool QtEventPump::pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout, Qt::PreciseTimer);  // monotonic
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(std::chrono::milliseconds(deadline.remainingTime()));
        QEventLoop* outer = m_loop;
        m_loop = &loop;
        loop.exec();
        m_loop = outer;
    }
    return true;
}

void QtEventPump::wake() {
    if (m_loop) m_loop->quit();
}

}  // namespace kestrix
