// The generator's version information, shown by both front ends.
#pragma once

namespace tarrowmgr {

inline constexpr const char* kProductName = "TarrowMgr";
inline constexpr const char* kFileVersion = "1.00";
inline constexpr const char* kFileDescription = "TarrowMgr is a tool to create csv files.";

}  // namespace tarrowmgr
