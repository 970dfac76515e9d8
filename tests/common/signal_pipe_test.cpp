// SIGINT and SIGTERM reach the event loop as calls, and the default handling comes back after.
#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <vector>

#include "common/qt/signal_pipe.h"

namespace {

bool defaultHandling(int signo) {
    struct sigaction current {};
    ::sigaction(signo, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

std::vector<int> deliveredWithin(const std::vector<int>& raised, int timeoutMs) {
    std::vector<int> got;
    tarrow::SignalPipe pipe([&got](int signo) { got.push_back(signo); });
    for (const int signo : raised) ::raise(signo);
    QElapsedTimer spent;
    spent.start();
    while (got.size() < raised.size() && spent.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return got;
}

}  // namespace

TEST(SignalPipe, EachSignalBecomesOneCallOnTheLoopInOrder) {
    EXPECT_EQ(deliveredWithin({SIGTERM, SIGINT}, 5000), (std::vector<int>{SIGTERM, SIGINT}));
    EXPECT_TRUE(defaultHandling(SIGINT));
    EXPECT_TRUE(defaultHandling(SIGTERM));
}

TEST(SignalPipe, ASecondPipeWhileOneExistsIsRefusedAndTheFirstKeepsWorking) {
    std::vector<int> got;
    tarrow::SignalPipe first([&got](int signo) { got.push_back(signo); });
    EXPECT_THROW(tarrow::SignalPipe([](int) {}), std::system_error);
    ::raise(SIGTERM);
    QElapsedTimer spent;
    spent.start();
    while (got.empty() && spent.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(got, std::vector<int>{SIGTERM});
}

TEST(SignalPipe, NamesTheTwoSignals) {
    EXPECT_EQ(tarrow::signalName(SIGINT), "SIGINT");
    EXPECT_EQ(tarrow::signalName(SIGTERM), "SIGTERM");
    EXPECT_EQ(tarrow::signalName(SIGHUP), "signal " + std::to_string(SIGHUP));
}
