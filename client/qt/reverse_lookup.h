// tarrow::HostNames by the system's resolver (getnameinfo), bounded in time: the form asks for
// a name once per connection, on the event loop, and must not wait for a resolver that hangs.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "client/ports/host_names.h"

namespace tarrow::qt {

class BoundedReverseLookup final : public HostNames {
public:
    static constexpr int kDefaultTimeoutMs = 2000;
    // Finds the name of a dotted address; empty when there is none. Blocking; it runs on the
    // lookup's own thread.
    using Resolver = std::function<std::string(const std::string& dottedAddress)>;

    explicit BoundedReverseLookup(int timeoutMs = kDefaultTimeoutMs, Resolver resolver = systemResolver);
    ~BoundedReverseLookup() override;
    BoundedReverseLookup(const BoundedReverseLookup&) = delete;
    BoundedReverseLookup& operator=(const BoundedReverseLookup&) = delete;

    // Waits at most timeoutMs for the answer. A lookup that has not answered is left to finish
    // on its thread (a resolver call cannot be cancelled); while it runs, further calls give
    // the empty name at once, so that at most one such thread ever exists.
    std::string nameOf(const std::string& dottedAddress) override;

    // getnameinfo with NI_NAMEREQD; empty for a text that is no IPv4 address.
    static std::string systemResolver(const std::string& dottedAddress);

private:
    struct Shared;
    int timeoutMs_;
    Resolver resolver_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace tarrow::qt
