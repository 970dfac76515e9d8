// Host names from a table, for tests: every lookup is recorded.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "client/ports/host_names.h"

namespace tarrow {

class FakeHostNames : public HostNames {
public:
    std::string nameOf(const std::string& dottedAddress) override {
        lookups.push_back(dottedAddress);
        const auto it = names.find(dottedAddress);
        return it == names.end() ? std::string() : it->second;
    }

    std::map<std::string, std::string> names{{"127.0.0.1", "localhost"}};
    std::vector<std::string> lookups;
};

}  // namespace tarrow
