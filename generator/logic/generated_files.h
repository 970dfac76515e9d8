// The lines of the three files the generator writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "generator/logic/generator_inputs.h"

namespace tarrowmgr {

inline constexpr const char* kControllerIniName = "TarrowCtrl.ini";
inline constexpr const char* kClientIniName = "Tarrow.ini";

// Replaces out with users-file line k: the base name with k appended, password, tree,
// context, server name and field6, separated by single commas, written as typed.
void buildUsersLine(std::string& out, const GeneratorInputs& inputs, std::int32_t k, std::string_view field6);

// The controller's INI file, three lines.
std::vector<std::string> controllerIniLines(const GeneratorInputs& inputs);

// The client's INI file, twenty lines. The credential line of PerformWorkloadAsUser ends with
// a comma: the sixth place, which holds the time-out in the users file, is left empty.
std::vector<std::string> clientIniLines(const GeneratorInputs& inputs);

}  // namespace tarrowmgr
