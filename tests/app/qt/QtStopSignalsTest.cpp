// A stop signal reaches the GUI thread as a request, and the process outlives it.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QWidget>

#include "app/qt/QtStopSignals.h"

namespace qzx {
namespace {

bool WaitFor(QSignalSpy& spy, int count) {
    QDeadlineTimer deadline(10000);
    while (spy.count() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return spy.count() >= count;
}

// Each of the three signals closes the window instead of ending the program, and a burst of
// them is one request.
TEST(QtStopSignals, EachSignalIsARequestToClose) {
    QtStopSignals stop;
    QSignalSpy spy(&stop, &QtStopSignals::Requested);
    QWidget window;
    QObject::connect(&stop, &QtStopSignals::Requested, &window, &QWidget::close);
    int expected = 0;
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        window.show();
        ASSERT_TRUE(window.isVisible());
        ::raise(number);
        ASSERT_TRUE(WaitFor(spy, ++expected)) << "signal " << number;
        EXPECT_FALSE(window.isVisible()) << "signal " << number;
    }
    ::raise(SIGTERM);
    ::raise(SIGTERM);
    ASSERT_TRUE(WaitFor(spy, expected + 1));
    QCoreApplication::processEvents();
    EXPECT_LE(spy.count(), expected + 2);
}

// Once it is gone the signals have their defaults again: nothing writes into a closed pipe.
TEST(QtStopSignals, DefaultsComeBackWhenItEnds) {
    { QtStopSignals stop; }
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace qzx

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
