#include "common/credential_line.h"

namespace tarrow {

std::vector<std::string> splitCredentialLine(std::string_view line, std::size_t maxFields) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    const std::size_t n = line.size();
    while (fields.size() < maxFields) {
        while (pos < n && isCredentialSeparator(line[pos])) ++pos;
        if (pos >= n) break;
        const std::size_t start = pos;
        while (pos < n && !isCredentialSeparator(line[pos])) ++pos;
        fields.emplace_back(line.substr(start, pos - start));
    }
    return fields;
}

}  // namespace tarrow
