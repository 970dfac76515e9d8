// The command line of the headless generator: one option per input of the window.
#pragma once

#include <string>
#include <vector>

#include "generator/logic/generator_inputs.h"

namespace tarrowmgr {

struct CliCommand {
    enum class Kind { Write, Help, Version, Error };
    Kind kind = Kind::Write;
    GeneratorInputs inputs;  // for Write: the defaults with the options applied
    std::string error;       // for Error: what was wrong with the command line
};

// Options take their value as "--name VALUE" or "--name=VALUE"; "--random" is a flag.
// args excludes the program name.
CliCommand parseCliOptions(const std::vector<std::string>& args, GeneratorInputs defaults);

// The --help text.
std::string cliUsage();

}  // namespace tarrowmgr
