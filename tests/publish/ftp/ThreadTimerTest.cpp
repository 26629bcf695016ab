#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "base/Errors.h"
#include "publish/EventWait.h"
#include "publish/ftp/ThreadTimer.h"

namespace velmora {
namespace {

void runEventsFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    waitUntil([&] { return clock.elapsed() >= ms; });
}

TEST(ThreadTimerTest, RunsOnlyWhenEnabledWithAnIntervalAndAHandler)
{
    TThreadTimer timer;
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_FALSE(timer.isRunning()) << "no handler yet";

    int ticks = 0;
    timer.SetInterval(5);
    timer.SetOnTimer([&](TThreadTimer&) { ++ticks; });
    EXPECT_TRUE(timer.isRunning());
    runEventsFor(60);
    EXPECT_GE(ticks, 2);

    timer.SetEnabled(false);
    EXPECT_FALSE(timer.isRunning());
    const int stopped = ticks;
    runEventsFor(30);
    EXPECT_EQ(ticks, stopped);

    timer.SetEnabled(true);
    timer.SetInterval(0);
    EXPECT_FALSE(timer.isRunning());
    timer.SetInterval(5);
    EXPECT_TRUE(timer.isRunning());
    timer.SetOnTimer({});
    EXPECT_FALSE(timer.isRunning());
}

TEST(ThreadTimerTest, ChangingTheIntervalStartsTheCountAgain)
{
    TThreadTimer timer;
    int ticks = 0;
    timer.SetInterval(40);
    timer.SetOnTimer([&](TThreadTimer&) { ++ticks; });
    runEventsFor(25);
    timer.SetInterval(41);  // re-armed: the next tick is 41 ms from now
    runEventsFor(25);
    EXPECT_EQ(ticks, 0);
    runEventsFor(40);
    EXPECT_GE(ticks, 1);
}

TEST(ThreadTimerTest, AHandlerFailureGoesToTheFailureDisplay)
{
    TThreadTimer timer;
    QStringList shown;
    timer.OnHandlerFailure = [&](const QString& text) { shown << text; };
    timer.SetInterval(5);
    timer.SetOnTimer([&](TThreadTimer& sender) {
        sender.SetEnabled(false);
        throw VelmoraError(QStringLiteral("handler failed"));
    });
    runEventsFor(40);
    EXPECT_EQ(shown, QStringList{QStringLiteral("handler failed")});
}

}  // namespace
}  // namespace velmora
