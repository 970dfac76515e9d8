// The options that set a load curve, as both programs take them (TarrowCli --batch and
// TarrowCtrl): --rate, --rate-file, --arrivals, --seed. One parser, so that the meaning, the
// file format and every error message are the same in both.
#pragma once

#include "common/load/load_schedule.h"

#include <optional>
#include <string>

namespace tarrow::load {

// The options' values as given; an empty text is an option not given.
struct CurveTexts {
    std::string rate, rateFile, arrivals, seed;
};

// Sets plan's curve, arrivals and seed from the texts; returns the text of the first fault
// ("--rate needs a number of logins per second above 0, at most 1000000"), or nothing.
std::optional<std::string> applyCurveOptions(const CurveTexts& t, LoadPlan& plan);

}  // namespace tarrow::load
