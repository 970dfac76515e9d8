#include "generator/logic/workload_writer.h"

#include <charconv>
#include <memory>
#include <vector>

#include "generator/logic/generated_files.h"
#include "generator/logic/number_of_users.h"

namespace tarrowmgr {
namespace {

// Closes file after a failed write, keeping the lines written so far; the first failure is
// the one reported, so a second one from the close is dropped.
void closeQuietly(TextFile& file) noexcept {
    try {
        file.close();
    } catch (const FileError&) {
    }
}

// The file as the operator knows it: a relative name is taken from the working folder.
std::string pathInFolder(const std::string& folder, const std::string& path) {
    if (path.starts_with('/') || folder.empty()) return path;
    return folder.ends_with('/') ? folder + path : folder + '/' + path;
}

// The same failure, naming the file it happened to.
[[noreturn]] void rethrowNaming(const FileError& error, const std::string& folder, const std::string& path) {
    throw FileError(error.what(), pathInFolder(folder, path));
}

// The close that ends a successful write; its failure (the last buffer) names the file too.
void closeNaming(TextFile& file, const std::string& folder, const std::string& path) {
    try {
        file.close();
    } catch (const FileError& error) {
        rethrowNaming(error, folder, path);
    }
}

void writeUsersFile(const GeneratorInputs& inputs, std::int32_t count, RandomSource& random, FileSystem& files) {
    std::unique_ptr<TextFile> file;
    try {
        file = files.createTextFile(inputs.csvFile);
    } catch (const FileError& error) {
        rethrowNaming(error, inputs.workingDir, inputs.csvFile);
    }
    std::string line;
    char digits[4];
    try {
        // A wider counter, so that the largest count ends the loop instead of overflowing.
        for (std::int64_t wide = 1; wide <= count; ++wide) {
            const auto k = static_cast<std::int32_t>(wide);
            const int timeout = random.nextTimeout();  // drawn for every line, used or not
            if (inputs.random) {
                const auto end = std::to_chars(digits, digits + sizeof digits, timeout).ptr;
                buildUsersLine(line, inputs, k, std::string_view(digits, end - digits));
            } else {
                buildUsersLine(line, inputs, k, inputs.timeout);
            }
            file->writeLine(line);
        }
    } catch (const FileError& error) {
        closeQuietly(*file);
        rethrowNaming(error, inputs.workingDir, inputs.csvFile);
    }
    closeNaming(*file, inputs.workingDir, inputs.csvFile);
}

void writeLines(const std::string& folder, const std::string& path, const std::vector<std::string>& lines,
                FileSystem& files) {
    std::unique_ptr<TextFile> file;
    try {
        file = files.createTextFile(path);
    } catch (const FileError& error) {
        rethrowNaming(error, folder, path);
    }
    try {
        for (const std::string& line : lines) file->writeLine(line);
    } catch (const FileError& error) {
        closeQuietly(*file);
        rethrowNaming(error, folder, path);
    }
    closeNaming(*file, folder, path);
}

}  // namespace

std::optional<WriteFailure> writeWorkloadFiles(const GeneratorInputs& inputs, RandomSource& random,
                                               FileSystem& files) {
    const NumberOfUsers users = parseNumberOfUsers(inputs.numUsers);
    if (!users.ok) return WriteFailure{users.error, {}};
    try {
        if (!files.folderExists(inputs.workingDir)) files.createFolder(inputs.workingDir);
        files.changeDirectory(inputs.workingDir);
        writeUsersFile(inputs, users.count, random, files);
        writeLines(inputs.workingDir, kControllerIniName, controllerIniLines(inputs), files);
        writeLines(inputs.workingDir, kClientIniName, clientIniLines(inputs), files);
    } catch (const FileError& error) {
        return WriteFailure{error.what(), error.path()};
    }
    return std::nullopt;
}

}  // namespace tarrowmgr
