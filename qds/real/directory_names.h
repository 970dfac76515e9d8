// How the library turns a tree and a dotted context into what LDAP needs.
#pragma once

#include <optional>
#include <string>

namespace qds {

// "host", "host:port", "[v6]:port" or an ldap:// / ldaps:// URL -> an LDAP URL.
// Empty, blank or malformed trees give nothing.
std::optional<std::string> treeToUrl(const std::string& tree);

// "Users.Engineering.Elmford.Vantric" read right to left ->
// "ou=Users,ou=Engineering,ou=Elmford,o=Vantric". An empty context is the empty DN;
// an empty part ("A..B", a leading or trailing dot) gives nothing.
std::optional<std::string> contextToDn(const std::string& context);

// The DN the login binds as: cn=<user>,<base> (cn=<user> for an empty base).
std::string userDn(const std::string& userName, const std::string& baseDn);

// Escapes one attribute value for a DN, so that no user text can add a DN part.
std::string escapeDnValue(const std::string& value);

}  // namespace qds
