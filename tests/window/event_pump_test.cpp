#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <gtest/gtest.h>

#include "window/event_pump.h"

namespace splicerec {
namespace {

TEST(EventPump, dispatchesAndPacesOnlyWhileAWaitPumps)
{
    EventPump pump;
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        pump.pumpOnce();
    EXPECT_TRUE(ran && pump.pacing());
    // A pacing interval each, where a spinning pump takes microseconds: a lower bound only.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10 * EventPump::kPaceIntervalMs));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);  // the tick comes outside any pump
    EXPECT_FALSE(pump.pacing());

    int pacingInLoop = -1;
    QTimer::singleShot(0, [&] {
        QEventLoop loop;  // what a message box runs on top of the waiting handler
        QTimer::singleShot(10 * EventPump::kPaceIntervalMs, &loop, &QEventLoop::quit);
        loop.exec();
        pacingInLoop = pump.pacing();
    });
    while (pacingInLoop < 0)
        pump.pumpOnce();
    EXPECT_EQ(pacingInLoop, 0);
    pump.pumpOnce();
    EXPECT_TRUE(pump.pacing());
}

}  // namespace
}  // namespace splicerec
