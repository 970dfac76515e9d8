// In-memory clock and connection for the controller's logic tests.
#pragma once

#include "controller/core/control_link.h"
#include "controller/core/ctrl_clock.h"
#include "controller/core/credential_store.h"

#include <string>
#include <vector>

namespace tarrow::ctrl::test {

class VirtualClock : public CtrlClock {
public:
    std::int64_t monotonicUs() const override { return nowUs; }
    std::int64_t wallMs() const override { return 1'800'000'000'000 + nowUs / 1000; }
    void advanceMs(std::int64_t ms) { nowUs += ms * 1000; }
    std::int64_t nowUs = 1'000'000;
};

class RecordingLink : public ControlLink {
public:
    void send(std::string_view bytes) override { sent.emplace_back(bytes); }
    void close() override { ++closes; }
    std::vector<std::string> sent;
    int closes = 0;
};

inline CredentialStore usersNamed(std::initializer_list<const char*> names) {
    CredentialStore out;
    for (const char* n : names) {
        const std::string_view fields[] = {n, "pw", "127.0.0.1", "Users.Vantric", "srv"};
        out.add(fields);
    }
    return out;
}

}  // namespace tarrow::ctrl::test
