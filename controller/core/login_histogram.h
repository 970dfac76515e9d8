// The histogram type the controller keeps login and reply times in.
#pragma once

#include "controller/core/latency_histogram.h"

namespace tarrow::ctrl {

using LoginHistogram = LatencyHistogram;

}  // namespace tarrow::ctrl
