// A repeating timer, as the client's form uses it.
#pragma once

#include <functional>

namespace tarrow {

class Timer {
public:
    virtual ~Timer() = default;
    virtual int intervalMs() const = 0;
    // A different interval on an enabled timer starts a full new interval from now;
    // the same interval changes nothing.
    virtual void setIntervalMs(int intervalMs) = 0;
    virtual bool enabled() const = 0;
    // Enabling a disabled timer starts a full interval; enabling an enabled one changes
    // nothing (the running interval goes on); disabling stops it.
    virtual void setEnabled(bool enabled) = 0;
    // Called on every tick while enabled. Exceptions are the caller's to report.
    virtual void setHandler(std::function<void()> onTick) = 0;
};

}  // namespace tarrow
