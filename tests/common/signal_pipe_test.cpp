// SIGINT and SIGTERM reach the event loop as calls, and the default handling comes back after.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "common/qt/signal_pipe.h"

namespace {

bool defaultHandling(int signo) {
    struct sigaction current {};
    ::sigaction(signo, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

// Sent to the process, as kill(1) does: raise() would aim at this thread, which has the
// signals blocked while a pipe exists.
void sendToProcess(int signo) { ::kill(::getpid(), signo); }

template <typename Done>
void loopUntil(Done done, int timeoutMs) {
    QElapsedTimer spent;
    spent.start();
    while (!done() && spent.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

TEST(SignalPipe, EachSignalBecomesOneCallOnTheLoopInOrder) {
    std::vector<int> got;
    {
        tarrow::SignalPipe pipe([&got](int signo) { got.push_back(signo); });
        for (const int signo : {SIGTERM, SIGINT, SIGTERM}) {
            const std::size_t before = got.size();
            sendToProcess(signo);
            loopUntil([&] { return got.size() > before; }, 5000);
        }
    }
    EXPECT_EQ(got, (std::vector<int>{SIGTERM, SIGINT, SIGTERM}));
    EXPECT_TRUE(defaultHandling(SIGINT));
    EXPECT_TRUE(defaultHandling(SIGTERM));
}

// The loop's thread may be inside a directory call when the signal comes: libldap waits in
// poll(), which a handler run on that thread would end with EINTR, failing the login.
TEST(SignalPipe, ASignalDoesNotInterruptAWaitOnTheLoopsThread) {
    std::vector<int> got;
    tarrow::SignalPipe pipe([&got](int signo) { got.push_back(signo); });
    int quiet[2];
    ASSERT_EQ(::pipe(quiet), 0);
    std::thread sender([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sendToProcess(SIGTERM);
    });
    struct pollfd fd {
        quiet[0], POLLIN, 0
    };
    errno = 0;
    const int polled = ::poll(&fd, 1, 400);
    const int pollErrno = errno;
    sender.join();
    ::close(quiet[0]);
    ::close(quiet[1]);
    EXPECT_EQ(polled, 0) << "poll ended early: " << std::strerror(pollErrno);
    EXPECT_TRUE(got.empty()) << "delivered before the loop ran";
    loopUntil([&] { return !got.empty(); }, 5000);
    EXPECT_EQ(got, std::vector<int>{SIGTERM});
}

TEST(SignalPipe, ASecondPipeWhileOneExistsIsRefusedAndTheFirstKeepsWorking) {
    std::vector<int> got;
    tarrow::SignalPipe first([&got](int signo) { got.push_back(signo); });
    EXPECT_THROW(tarrow::SignalPipe([](int) {}), std::system_error);
    sendToProcess(SIGTERM);
    loopUntil([&] { return !got.empty(); }, 5000);
    EXPECT_EQ(got, std::vector<int>{SIGTERM});
}

TEST(SignalPipe, NamesTheTwoSignals) {
    EXPECT_EQ(tarrow::signalName(SIGINT), "SIGINT");
    EXPECT_EQ(tarrow::signalName(SIGTERM), "SIGTERM");
    EXPECT_EQ(tarrow::signalName(SIGHUP), "signal " + std::to_string(SIGHUP));
}
