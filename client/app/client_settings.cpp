#include "client/app/client_settings.h"

#include <filesystem>

#include "common/file_lookup.h"
#include "common/ini_file.h"

namespace tarrow {

ClientSettings readClientSettings(const std::string& iniPath) {
    const IniFile ini = IniFile::load(iniPath);
    const ClientSettings d;
    ClientSettings s;
    s.localBroadcast = ini.readString("General", "Local Broadcast", d.localBroadcast);
    s.workloadUsersFile = ini.readString("General", "WorkloadUsersFile", d.workloadUsersFile);
    s.performWorkloadAsUser = ini.readString("General", "PerformWorkloadAsUser", d.performWorkloadAsUser);
    s.numWorkloads = ini.readInteger("General", "NumWorkloads", d.numWorkloads);
    s.batchWorkloads = ini.readBool("General", "BatchWorkloads", d.batchWorkloads);
    s.maxDelay = ini.readInteger("General", "MaxDelay", d.maxDelay);
    return s;
}

std::string clientIniPath(const std::string& programPath) {
    std::filesystem::path path(programPath);
    path.replace_extension(".INI");
    return fileAnyCase(path.string());
}

}  // namespace tarrow
