// Event-loop helpers for tests of the Qt adapters: every wait is bounded.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <functional>

namespace tarrow::qt::test {

// Runs the event loop until done() holds or timeoutMs pass; returns done().
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer spent;
    spent.start();
    while (!done()) {
        if (spent.elapsed() > timeoutMs) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Runs the event loop for about ms milliseconds.
inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

}  // namespace tarrow::qt::test
