// When the next workload event runs: the random delay and the countdown text beside it.
#pragma once

#include <cstdint>

#include "client/ports/clock.h"
#include "client/ports/controls.h"
#include "client/ports/timer.h"

namespace tarrow {

class EventScheduler {
public:
    // nextEventSeconds is the form's count of seconds to the event, shown by the countdown;
    // eventDueUs is when the armed event timer is due on clock (-1: not armed), for the lag
    // of a timed login.
    EventScheduler(Timer& timeEvent, Label& lblFuncTimer, RandomSource& random,
                   std::int32_t& nextEventSeconds, MonotonicClock& clock, std::int64_t& eventDueUs)
        : timeEvent_(timeEvent),
          lblFuncTimer_(lblFuncTimer),
          random_(random),
          nextEventSeconds_(nextEventSeconds),
          clock_(clock),
          eventDueUs_(eventDueUs) {}

    // Draws the delay: r = next() mod |maxDelay| (no draw when maxDelay is 0: r = 0), so the
    // event timer's interval becomes (r + 1) seconds, the largest bound that fits its
    // milliseconds taken for a larger |maxDelay|. Then shows the count as updateIntervalLabel.
    // The timer is not enabled here; a new interval on a running timer starts it afresh, so
    // the armed event is then due one interval from now.
    void chooseNextInterval(std::int32_t maxDelay);

    // Shows "Next event in N second(s)" and counts down by one; the count has no lower bound.
    void updateIntervalLabel();

private:
    Timer& timeEvent_;
    Label& lblFuncTimer_;
    RandomSource& random_;
    std::int32_t& nextEventSeconds_;
    MonotonicClock& clock_;
    std::int64_t& eventDueUs_;
};

}  // namespace tarrow
