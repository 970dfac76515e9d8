// Writes the users file, the controller's INI file and the client's INI file.
#pragma once

#include <optional>
#include <string>

#include "generator/logic/file_system.h"
#include "generator/logic/generator_inputs.h"
#include "generator/logic/random_source.h"

namespace tarrowmgr {

// Why the files could not be written.
struct WriteFailure {
    std::string text;  // the platform's description, or why the number of users was refused
    std::string path;  // the file whose creation, write or close failed, in the working folder
                       // as typed; empty when the failure is not one file's
};

// Writes the three files from inputs, in the order users file, "TarrowCtrl.ini",
// "Tarrow.ini", each closed before the next is created. The working folder is created when
// missing (only the folder itself) and stays the current directory. Draws one random value
// per users-file line, used or not. Returns the failure, or nothing on success; on a
// failure the remaining steps are skipped, the file being written keeps the lines written so
// far, and files written earlier stay. A refused number of users writes nothing.
std::optional<WriteFailure> writeWorkloadFiles(const GeneratorInputs& inputs, RandomSource& random,
                                               FileSystem& files);

}  // namespace tarrowmgr
