#include "common/file_lookup.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace tarrow {
namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

std::optional<std::string> findFileAnyCase(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path wanted(path);
    std::error_code ec;
    if (fs::exists(wanted, ec)) return path;
    const bool hasFolder = wanted.has_parent_path();
    const fs::path folder = hasFolder ? wanted.parent_path() : fs::path(".");
    const std::string name = lower(wanted.filename().string());
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (lower(it->path().filename().string()) == name && it->is_regular_file(ec)) {
            return hasFolder ? (folder / it->path().filename()).string() : it->path().filename().string();
        }
    }
    return std::nullopt;
}

std::string fileAnyCase(const std::string& path) { return findFileAnyCase(path).value_or(path); }

}  // namespace tarrow
