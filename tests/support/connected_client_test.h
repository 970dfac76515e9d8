// A fixture for tests of the client's control channel: a fresh directory double, a form whose
// every delay draws 5 s, connected to a controller on 127.0.0.1, and the log from then on.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "qds/fake/qdsfake.h"
#include "tests/support/form_harness.h"

namespace tarrow {

class ConnectedClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        qdsfake_reset();
        h.random.script = {4};  // every delay: 5 s
        connectController(h);
        logStart = h.log().size();
    }
    // The log pane's lines written since the connection came up.
    std::vector<std::string> newLog() const { return logSince(h, logStart); }

    FormHarness h{FormHarness::withIni("[General]\nMaxDelay=10\n")};
    std::size_t logStart = 0;
};

}  // namespace tarrow
