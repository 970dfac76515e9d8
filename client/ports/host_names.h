// Host names of addresses, for texts the operator reads.
#pragma once

#include <string>

namespace tarrow {

class HostNames {
public:
    virtual ~HostNames() = default;
    // The host name of a dotted IPv4 address by reverse lookup; empty when it has none, when
    // the text is no address, or when the answer does not come within the lookup's bound.
    virtual std::string nameOf(const std::string& dottedAddress) = 0;
};

}  // namespace tarrow
