#include "controller/core/discovery_gate.h"

#include "common/link_protocol.h"

namespace tarrow::ctrl {

bool isDiscoverDatagram(std::string_view bytes) { return bytes == kDiscover; }

bool DiscoveryGate::shouldAnswer(std::string_view bytes, const std::string& sender, std::int64_t nowUs) {
    if (!isDiscoverDatagram(bytes)) return false;
    if (!windowOpen_ || nowUs - windowStartUs_ >= 1'000'000) {
        windowOpen_ = true;
        windowStartUs_ = nowUs;
        answeredInWindow_.clear();
    }
    if (answeredInWindow_.size() >= maxSenders_) return false;
    return answeredInWindow_.insert(sender).second;
}

}  // namespace tarrow::ctrl
