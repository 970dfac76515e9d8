// The "capacity" section of report.json: the search's settings, its result and every step
// (docs/report.md).
#pragma once

#include "common/capacity/capacity_search.h"

#include <nlohmann/json.hpp>

namespace tarrow::capacity {

nlohmann::ordered_json capacityJson(const SearchResult& result, const SearchSettings& settings);

}  // namespace tarrow::capacity
