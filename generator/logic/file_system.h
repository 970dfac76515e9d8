// The file-system operations the file writer needs, so that it runs over real files or doubles.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace tarrowmgr {

// A failed file-system operation; what() is the platform's description of the failure.
class FileError : public std::runtime_error {
public:
    explicit FileError(const std::string& reason, std::string path = {})
        : std::runtime_error(reason), path_(std::move(path)) {}
    // The file whose creation, write or close failed; empty when no file is named.
    const std::string& path() const noexcept { return path_; }

private:
    std::string path_;
};

// A text file open for output. Destroying it closes it without reporting.
class TextFile {
public:
    virtual ~TextFile() = default;
    // Writes the line followed by CR LF. Throws FileError.
    virtual void writeLine(std::string_view line) = 0;
    // Flushes and closes; later calls do nothing. Throws FileError when the flush fails.
    virtual void close() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool folderExists(const std::string& path) = 0;
    // Creates this one folder (its parent must exist). Throws FileError.
    virtual void createFolder(const std::string& path) = 0;
    // Makes path the process's current directory. Throws FileError.
    virtual void changeDirectory(const std::string& path) = 0;
    // Creates or truncates the file; a relative path is taken from the current directory.
    // Throws FileError.
    virtual std::unique_ptr<TextFile> createTextFile(const std::string& path) = 0;
};

}  // namespace tarrowmgr
