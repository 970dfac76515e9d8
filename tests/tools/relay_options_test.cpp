#include "tools/delay_relay/relay_options.h"

#include <gtest/gtest.h>

namespace tarrow::relay {
namespace {

TEST(RelayOptions, TakesBothEndpointsAndTheDelays) {
    const auto p = parseRelayOptions({"--listen", "10.231.0.2:1389", "--to", "10.231.0.2:389", "--delay-ms",
                                      "20", "--return-delay-ms", "5", "--max-connections", "8"});
    ASSERT_TRUE(p.options) << p.message;
    EXPECT_EQ(p.options->listen.address, "10.231.0.2");
    EXPECT_EQ(p.options->listen.port, 1389);
    EXPECT_EQ(p.options->target.port, 389);
    EXPECT_EQ(p.options->delayMs, 20);
    EXPECT_EQ(p.options->returnDelayMs, 5);
    EXPECT_EQ(p.options->maxConnections, 8u);
    EXPECT_EQ(p.options->connectTimeoutMs, 3000) << "the default bound";
}

TEST(RelayOptions, BadInputIsAnErrorThatNamesIt) {
    struct Case {
        std::vector<std::string> args;
        std::string inMessage;
    };
    const Case cases[] = {
        {{"--to", "127.0.0.1:389"}, "--listen"},
        {{"--listen", "localhost:1389", "--to", "127.0.0.1:389"}, "localhost:1389"},
        {{"--listen", "127.0.0.1:1389", "--to", "127.0.0.1:0"}, "127.0.0.1:0"},
        {{"--listen", "127.0.0.1:70000", "--to", "127.0.0.1:389"}, "127.0.0.1:70000"},
        {{"--listen", "127.0.0.1:", "--to", "127.0.0.1:389"}, "--listen"},
        {{"--listen", "127.0.0.1:1", "--to", "127.0.0.1:389", "--delay-ms", "-1"}, "--delay-ms"},
        {{"--listen", "127.0.0.1:1", "--to", "127.0.0.1:389", "--delay-ms", "x"}, "--delay-ms"},
        {{"--listen", "127.0.0.1:1", "--to", "127.0.0.1:389", "--bogus"}, "--bogus"},
    };
    for (const Case& c : cases) {
        const auto p = parseRelayOptions(c.args);
        EXPECT_FALSE(p.options) << c.inMessage;
        EXPECT_NE(p.message.find(c.inMessage), std::string::npos) << p.message;
    }
}

TEST(RelayOptions, PortZeroOnlyForListening) {
    EXPECT_TRUE(parseEndpoint("127.0.0.1:0", true));
    EXPECT_FALSE(parseEndpoint("127.0.0.1:0", false));
    EXPECT_FALSE(parseEndpoint("127.0.0.1:+5", true));
    EXPECT_FALSE(parseEndpoint("::1:5", true));
}

}  // namespace
}  // namespace tarrow::relay
