// A private temporary folder for a test's files.
#pragma once

#include <filesystem>
#include <string>

namespace tarrow {

// A folder under the system's temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Writes content byte for byte to name inside the folder; returns the full path.
    std::string writeFile(const std::string& name, const std::string& content) const;

private:
    std::filesystem::path path_;
};

}  // namespace tarrow
