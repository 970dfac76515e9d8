// tarrow::Timer on a QTimer. QTimer::start() restarts a running timer, which the port's
// contract forbids for a plain re-enable, so every change is guarded here.
#pragma once

#include <QTimer>
#include <functional>

#include "client/ports/timer.h"

namespace tarrow::qt {

class QtTimer final : public Timer {
public:
    QtTimer(int intervalMs, bool enabled);
    int intervalMs() const override { return intervalMs_; }
    void setIntervalMs(int intervalMs) override;
    bool enabled() const override { return timer_.isActive(); }
    void setEnabled(bool enabled) override;
    void setHandler(std::function<void()> onTick) override { onTick_ = std::move(onTick); }

private:
    QTimer timer_;
    int intervalMs_;
    std::function<void()> onTick_;
};

}  // namespace tarrow::qt
