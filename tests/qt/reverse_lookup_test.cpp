// The bounded reverse lookup: the system's answer, and a resolver that hangs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "client/qt/reverse_lookup.h"

using tarrow::qt::BoundedReverseLookup;

TEST(ReverseLookup, TheSystemNamesLoopbackAndNothingThatIsNoAddress) {
    BoundedReverseLookup lookup;
    EXPECT_EQ(lookup.nameOf("127.0.0.1"), "localhost");
    EXPECT_EQ(lookup.nameOf("not an address"), "");
}

TEST(ReverseLookup, AHangingResolverGivesNoNameAndNoSecondThreadUntilItAnswers) {
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::atomic<int> calls{0};
    std::atomic<int> finished{0};
    BoundedReverseLookup lookup(50, [&](const std::string& address) {
        ++calls;
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return release; });
        ++finished;
        return "name-of-" + address;
    });
    EXPECT_EQ(lookup.nameOf("127.0.0.9"), "");
    EXPECT_EQ(lookup.nameOf("127.0.0.9"), "") << "the first lookup still runs";
    EXPECT_EQ(calls, 1);
    {
        const std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    for (int i = 0; i < 500 && finished == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(finished, 1);
    // The late answer is not taken for the next lookup's; the next lookup has its own.
    std::string name;
    for (int i = 0; i < 500 && name.empty(); ++i) name = lookup.nameOf("127.0.0.10");
    EXPECT_EQ(name, "name-of-127.0.0.10");
}
