#include "client/qt/qt_timer.h"

#include "client/qt/loop_guard.h"

namespace tarrow::qt {

QtTimer::QtTimer(int intervalMs, bool enabled) : intervalMs_(intervalMs) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(intervalMs_);
    QObject::connect(&timer_, &QTimer::timeout, [this] { deliver(onTick_); });
    if (enabled) timer_.start();
}

void QtTimer::setIntervalMs(int intervalMs) {
    if (intervalMs == intervalMs_) return;
    intervalMs_ = intervalMs;
    // QTimer::setInterval on an active timer restarts it from now: the contract asks for that.
    timer_.setInterval(intervalMs_);
}

void QtTimer::setEnabled(bool enabled) {
    if (enabled == timer_.isActive()) return;
    if (enabled) {
        timer_.start(intervalMs_);
    } else {
        timer_.stop();
    }
}

}  // namespace tarrow::qt
