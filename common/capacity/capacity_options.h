// The options of a capacity search, as both programs take them (TarrowCli --batch and
// TarrowCtrl): --find-capacity, --from, --precision, --confidence, --max-time. One parser, so
// that their meaning and every error message are the same in both.
#pragma once

#include "common/capacity/capacity_search.h"

#include <array>
#include <string>
#include <variant>

namespace tarrow::capacity {

// The options' values as given; an empty text is an option not given.
struct CapacityTexts {
    std::string objective, from, precision, confidence, maxTime;
    static constexpr std::array kNames{"--find-capacity", "--from", "--precision", "--confidence",
                                       "--max-time"};
    static bool isCapacityOption(const std::string& name);
    bool any() const { return !(objective + from + precision + confidence + maxTime).empty(); }
};

// "--from needs --find-capacity" when a setting is given without the objective, or empty.
std::string settingWithoutObjective(const CapacityTexts& t);

// The search the texts give, or the text of the first fault ("--precision: the precision must
// be above 0 and at most 100 %"), settingWithoutObjective first. What each program's other
// options exclude is for the program to check.
std::variant<SearchSettings, std::string> capacitySettings(const CapacityTexts& t);

}  // namespace tarrow::capacity
