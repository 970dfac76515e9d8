// The controller's epoll set of readable connections, on real socket pairs and the Qt loop.
#include "controller/qt/qt_epoll_readers.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using tarrow::ctrl::QtEpollReaders;

// One end of a socket pair; the test writes to the other end.
struct Pair {
    int fds[2] = {-1, -1};
    Pair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0); }
    ~Pair() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    void write(const std::string& bytes) const {
        EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
};

// Reads as a connection does: until a read returns fewer bytes than asked for, or nothing.
struct DrainingReader : QtEpollReaders::Reader {
    int fd = -1;
    std::string got;
    int calls = 0;
    bool endOfStream = false;
    std::function<void()> onCall;
    void readable() override {
        ++calls;
        char buffer[4];
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
            if (n == 0) endOfStream = true;
            if (n < static_cast<ssize_t>(sizeof buffer)) break;
        }
        if (onCall) onCall();
    }
};

// Runs the loop until done() or two seconds have passed.
bool runUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Runs the loop for a while, for what must not happen.
void runFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(QtEpollReaders, ReportsBytesThatWereThereAndEachArrivalThenTheEndAndNothingAfterRemove) {
    QtEpollReaders readers;
    ASSERT_TRUE(readers.valid());
    Pair a, b;
    DrainingReader ra, rb;
    ra.fd = a.fds[0];
    rb.fd = b.fds[0];
    a.write("R1\nR2 and more than one buffer");  // before it is watched
    ASSERT_TRUE(readers.add(ra.fd, ra));
    ASSERT_TRUE(readers.add(rb.fd, rb));
    ASSERT_TRUE(runUntil([&] { return ra.got == "R1\nR2 and more than one buffer"; }));
    EXPECT_EQ(rb.calls, 0);

    // Every arrival after the bytes were taken is reported again.
    for (const std::string reply : {"R1", "R-5", "R0text"}) {
        b.write(reply);
        ASSERT_TRUE(runUntil([&] { return rb.got.ends_with(reply); })) << reply;
    }
    EXPECT_EQ(rb.got, "R1R-5R0text");

    // The end of the stream is reported as readable.
    ::close(b.fds[1]);
    b.fds[1] = -1;
    ASSERT_TRUE(runUntil([&] { return rb.endOfStream; }));

    // A removed descriptor is not reported, however much waits on it.
    readers.remove(rb.fd);
    readers.remove(ra.fd);
    readers.remove(ra.fd);  // twice, or never added: ignored
    const int callsA = ra.calls, callsB = rb.calls;
    a.write("R1");
    runFor(100);
    EXPECT_EQ(ra.calls, callsA);
    EXPECT_EQ(rb.calls, callsB);
    EXPECT_FALSE(readers.add(-1, ra));
}

TEST(QtEpollReaders, AReaderMayRemoveAnotherDuringTheBatchAndAddANewOne) {
    QtEpollReaders readers;
    Pair a, b, c;
    DrainingReader ra, rb, rc;
    ra.fd = a.fds[0];
    rb.fd = b.fds[0];
    rc.fd = c.fds[0];
    ASSERT_TRUE(readers.add(ra.fd, ra));
    ASSERT_TRUE(readers.add(rb.fd, rb));
    // Whichever of the two comes first removes the other and watches c instead.
    bool swapped = false;
    auto swap = [&](DrainingReader& other) {
        if (swapped) return;
        swapped = true;
        readers.remove(other.fd);
        ASSERT_TRUE(readers.add(rc.fd, rc));
    };
    ra.onCall = [&] { swap(rb); };
    rb.onCall = [&] { swap(ra); };
    a.write("R1");
    b.write("R1");
    c.write("R0text");
    ASSERT_TRUE(runUntil([&] { return rc.got == "R0text"; }));
    runFor(50);
    // The removed one is called at most for the event of the batch it was removed in.
    EXPECT_LE(ra.calls + rb.calls, 2);
    EXPECT_GE(ra.got.size() + rb.got.size(), 2u);
}

}  // namespace
