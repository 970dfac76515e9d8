#include "qds/real/directory_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

namespace qds {
namespace {

bool startsWithNoCase(const std::string& s, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

bool validPort(const std::string& p) {
    if (p.empty() || p.size() > 5 ||
        !std::all_of(p.begin(), p.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long port = std::stol(p);
    return port >= 1 && port <= 65535;
}

bool validHostChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

}  // namespace

std::optional<std::string> treeToUrl(const std::string& tree) {
    if (startsWithNoCase(tree, "ldap://") || startsWithNoCase(tree, "ldaps://")) {
        if (std::any_of(tree.begin(), tree.end(),
                        [](char c) { return std::isspace(static_cast<unsigned char>(c)); }))
            return std::nullopt;
        return tree;
    }
    std::string host = tree;
    std::string port;
    if (!host.empty() && host.front() == '[') {  // [v6] or [v6]:port
        const auto close = host.find(']');
        if (close == std::string::npos) return std::nullopt;
        const std::string rest = host.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
            if (!validPort(port)) return std::nullopt;
        }
        const std::string addr = host.substr(1, close - 1);
        if (addr.empty() || !std::all_of(addr.begin(), addr.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
            }))
            return std::nullopt;
        return "ldap://[" + addr + "]" + (port.empty() ? "" : ":" + port);
    }
    const auto colon = host.find(':');
    if (colon != std::string::npos) {
        port = host.substr(colon + 1);
        host.resize(colon);
        if (!validPort(port)) return std::nullopt;
    }
    if (host.empty() || !std::all_of(host.begin(), host.end(), validHostChar)) return std::nullopt;
    return "ldap://" + host + (port.empty() ? "" : ":" + port);
}

std::string escapeDnValue(const std::string& value) {
    std::string out;
    out.reserve(value.size() + 8);
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const bool special = c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' || c == '>' ||
                             c == ';' || c == '=';
        const bool edge = (i == 0 && (c == ' ' || c == '#')) || (i + 1 == value.size() && c == ' ');
        if (c == '\0' || static_cast<unsigned char>(c) < 0x20) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "\\%02x", static_cast<unsigned char>(c));
            out += hex;
        } else if (special || edge) {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> contextToDn(const std::string& context) {
    if (context.empty()) return std::string();
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto dot = context.find('.', start);
        parts.push_back(context.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (parts.back().empty()) return std::nullopt;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    // Written left to right it is the DN already; only the last (top) part is an o=.
    std::string dn;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) dn += ',';
        dn += (i + 1 == parts.size() ? "o=" : "ou=") + escapeDnValue(parts[i]);
    }
    return dn;
}

std::string userDn(const std::string& userName, const std::string& baseDn) {
    std::string dn = "cn=" + escapeDnValue(userName);
    if (!baseDn.empty()) dn += "," + baseDn;
    return dn;
}

}  // namespace qds
