// The file writer's file system on the POSIX calls.
#pragma once

#include "generator/logic/file_system.h"

namespace tarrowmgr {

// Failures carry the system's own description of errno ("No such file or directory").
class PosixFileSystem final : public FileSystem {
public:
    bool folderExists(const std::string& path) override;
    void createFolder(const std::string& path) override;
    void changeDirectory(const std::string& path) override;
    std::unique_ptr<TextFile> createTextFile(const std::string& path) override;
};

}  // namespace tarrowmgr
