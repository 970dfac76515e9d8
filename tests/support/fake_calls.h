// Reads the recording of the directory-library double as a list of call texts.
#pragma once

#include "qds/fake/qdsfake.h"

#include <string>
#include <vector>

inline std::vector<std::string> recordedCalls() {
    std::vector<std::string> calls;
    for (size_t i = 0; i < qdsfake_call_count(); ++i) calls.emplace_back(qdsfake_call(i));
    return calls;
}
