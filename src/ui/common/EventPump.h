#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace quirel::ui {

// Lets the program run for `ms` as it would on screen (timers, posted updates, repaints), for the
// screenshot tours, which photograph windows between steps rather than wait for a condition.
inline void PumpEvents(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

} // namespace quirel::ui
