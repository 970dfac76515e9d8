#include "common/credential_line.h"

namespace tarrow {

std::string_view nextCredentialField(std::string_view line, std::size_t& pos) {
    const std::size_t n = line.size();
    while (pos < n && isCredentialSeparator(line[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < n && !isCredentialSeparator(line[pos])) ++pos;
    return line.substr(start < n ? start : n, pos - start);
}

std::vector<std::string> splitCredentialLine(std::string_view line, std::size_t maxFields) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (fields.size() < maxFields) {
        const std::string_view field = nextCredentialField(line, pos);
        if (field.empty()) break;
        fields.emplace_back(field);
    }
    return fields;
}

}  // namespace tarrow
