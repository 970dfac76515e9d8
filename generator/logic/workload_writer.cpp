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

void writeUsersFile(const GeneratorInputs& inputs, std::int32_t count, RandomSource& random, FileSystem& files) {
    const std::unique_ptr<TextFile> file = files.createTextFile(inputs.csvFile);
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
    } catch (const FileError&) {
        closeQuietly(*file);
        throw;
    }
    file->close();
}

void writeLines(const std::string& path, const std::vector<std::string>& lines, FileSystem& files) {
    const std::unique_ptr<TextFile> file = files.createTextFile(path);
    try {
        for (const std::string& line : lines) file->writeLine(line);
    } catch (const FileError&) {
        closeQuietly(*file);
        throw;
    }
    file->close();
}

}  // namespace

std::optional<std::string> writeWorkloadFiles(const GeneratorInputs& inputs, RandomSource& random,
                                              FileSystem& files) {
    const NumberOfUsers users = parseNumberOfUsers(inputs.numUsers);
    if (!users.ok) return users.error;
    try {
        if (!files.folderExists(inputs.workingDir)) files.createFolder(inputs.workingDir);
        files.changeDirectory(inputs.workingDir);
        writeUsersFile(inputs, users.count, random, files);
        writeLines(kControllerIniName, controllerIniLines(inputs), files);
        writeLines(kClientIniName, clientIniLines(inputs), files);
    } catch (const FileError& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

}  // namespace tarrowmgr
