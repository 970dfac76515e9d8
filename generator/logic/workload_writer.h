// Writes the users file, the controller's INI file and the client's INI file.
#pragma once

#include <optional>
#include <string>

#include "generator/logic/file_system.h"
#include "generator/logic/generator_inputs.h"
#include "generator/logic/random_source.h"

namespace tarrowmgr {

// Writes the three files from inputs, in the order users file, "TarrowCtrl.ini",
// "Tarrow.ini", each closed before the next is created. The working folder is created when
// missing (only the folder itself) and stays the current directory. Draws one random value
// per users-file line, used or not. Returns the failure text, or nothing on success; on a
// failure the remaining steps are skipped, the file being written keeps the lines written so
// far, and files written earlier stay. A refused number of users writes nothing.
std::optional<std::string> writeWorkloadFiles(const GeneratorInputs& inputs, RandomSource& random,
                                              FileSystem& files);

}  // namespace tarrowmgr
