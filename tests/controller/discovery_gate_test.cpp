#include "controller/core/discovery_gate.h"

#include <gtest/gtest.h>

namespace tarrow::ctrl {
namespace {

TEST(Discovery, OnlyTheExactEightBytesAreAnsweredOncePerSenderASecond) {
    using namespace std::string_view_literals;
    for (auto bytes : {"discover"sv, "DISCOVERY"sv, "DISCOVER\n"sv, "DISCOVER\0"sv, "DISCOVE"sv, ""sv})
        EXPECT_FALSE(isDiscoverDatagram(bytes)) << bytes.size();
    DiscoveryGate gate(2);
    EXPECT_TRUE(gate.shouldAnswer("DISCOVER", "127.0.0.1:5000", 0));
    EXPECT_FALSE(gate.shouldAnswer("DISCOVER", "127.0.0.1:5000", 500'000)) << "same sender, same second";
    EXPECT_TRUE(gate.shouldAnswer("DISCOVER", "127.0.0.1:5001", 500'000)) << "another client on the host";
    EXPECT_FALSE(gate.shouldAnswer("DISCOVER", "127.0.0.3:5000", 600'000)) << "table full for this second";
    EXPECT_TRUE(gate.shouldAnswer("DISCOVER", "127.0.0.1:5000", 1'000'000));
    EXPECT_FALSE(gate.shouldAnswer("DISCOVERx", "127.0.0.9:5000", 5'000'000));
}

}  // namespace
}  // namespace tarrow::ctrl
