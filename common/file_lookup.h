// Finding a file whose name may differ in letter case: files written on a system that ignores
// letter case ("Tarrow.ini" for "Tarrow.INI") are found on one that does not.
#pragma once

#include <optional>
#include <string>

namespace tarrow {

// The file at path when it exists; otherwise a regular file in the same folder whose name
// matches path's file name without regard to letter case; std::nullopt when there is neither.
// The result names the folder as path does (no folder: the file name alone).
std::optional<std::string> findFileAnyCase(const std::string& path);

// findFileAnyCase, or path itself when neither file exists.
std::string fileAnyCase(const std::string& path);

}  // namespace tarrow
