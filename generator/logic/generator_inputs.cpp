#include "generator/logic/generator_inputs.h"

namespace tarrowmgr {

GeneratorInputs defaultInputs(const std::string& homeFolder) {
    GeneratorInputs inputs;
    inputs.workingDir = homeFolder;
    if (!inputs.workingDir.empty() && inputs.workingDir.back() != '/') inputs.workingDir += '/';
    inputs.workingDir += "TarrowMgr/";
    return inputs;
}

}  // namespace tarrowmgr
