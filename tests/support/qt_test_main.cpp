// The main of every test that needs a Qt application object. The application must outlive
// every socket, timer and widget of the tests, so it lives here rather than in a fixture.
#include <gtest/gtest.h>

#ifdef TARROW_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    const TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
