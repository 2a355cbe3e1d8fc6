#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include "window/event_pump.h"

namespace splicerec {
namespace {

TEST(EventPump, onePumpDispatchesWhatIsPendingInEitherMode)
{
    for (const auto mode : {EventPump::Mode::Paced, EventPump::Mode::Busy}) {
        EventPump pump(mode);
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        for (int i = 0; i < 100 && !ran; ++i)
            pump.pumpOnce();
        EXPECT_TRUE(ran);
        EXPECT_EQ(pump.pacing(), mode == EventPump::Mode::Paced);
    }
}

TEST(EventPump, pacingStopsOnceEventsAreProcessedOutsideAWait)
{
    EventPump pump;
    pump.pumpOnce();
    ASSERT_TRUE(pump.pacing());
    // Nothing else is pending, so this returns with the pacing tick, outside any pump.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_FALSE(pump.pacing());
}

TEST(EventPump, aLoopOpenedInsideAWaitPausesThePacing)
{
    EventPump pump;
    bool pausedInsideLoop = false;
    bool boxClosed = false;
    QTimer::singleShot(0, [&] {
        // What a message box does: its own event loop on top of the waiting handler.
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (!pump.pacing()) {
                pausedInsideLoop = true;
                loop.quit();
            }
        });
        check.start(5);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        boxClosed = true;
    });
    while (!boxClosed)
        pump.pumpOnce();
    EXPECT_TRUE(pausedInsideLoop);
    pump.pumpOnce();
    EXPECT_TRUE(pump.pacing());
}

TEST(EventPump, anIdlePacedWaitSleepsBetweenPolls)
{
    EventPump pump;
    QElapsedTimer elapsed;
    elapsed.start();
    for (int i = 0; i < 20; ++i)
        pump.pumpOnce();
    // A pacing interval each; a spinning pump takes a few microseconds. Only a lower
    // bound, so a slow machine cannot fail it.
    EXPECT_GE(elapsed.elapsed(), 20 * EventPump::kPaceIntervalMs / 2);
}

}  // namespace
}  // namespace splicerec
