#include "generator/logic/generated_files.h"

#include <charconv>

namespace tarrowmgr {

void buildUsersLine(std::string& out, const GeneratorInputs& inputs, std::int32_t k, std::string_view field6) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, k).ptr;
    out.assign(inputs.userName);
    out.append(digits, end);
    out += ',';
    out += inputs.password;
    out += ',';
    out += inputs.tree;
    out += ',';
    out += inputs.context;
    out += ',';
    out += inputs.serverName;
    out += ',';
    out += field6;
}

std::vector<std::string> controllerIniLines(const GeneratorInputs& inputs) {
    return {
        "[General]",
        "Local Broadcast=" + inputs.broadcast,
        "UserFile=" + inputs.csvFile,
    };
}

std::vector<std::string> clientIniLines(const GeneratorInputs& inputs) {
    return {
        "[General]",
        "Local Broadcast=" + inputs.broadcast,
        "WorkloadUsersFile=",
        "PerformWorkloadAsUser=" + inputs.userName + ',' + inputs.password + ',' + inputs.tree + ',' +
            inputs.context + ',' + inputs.serverName + ',',
        "NumberOfWorkloads=2",
        "BatchWorkloads=1",
        "MaxDelay=90",
        "",
        "; DSFunctions are:",
        ";   1 - Login (Authenticate)",
        ";   2 - Logout",
        ";   3 - Create User",
        ";   4 - Delete User",
        "[Workload1]",
        "NumOperations=1",
        "Operation1=3",
        "",
        "[Workload2]",
        "NumOperations=1",
        "Operation1=4",
    };
}

}  // namespace tarrowmgr
