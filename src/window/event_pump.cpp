#include "window/event_pump.h"

#include <QCoreApplication>
#include <QThread>

namespace splicerec {

EventPump::EventPump(Mode mode) : mode_(mode)
{
    pacer_.setInterval(kPaceIntervalMs);
    pacer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pacer_, &QTimer::timeout, &pacer_, [this] { onPace(); });
}

void EventPump::pumpOnce(bool userInput)
{
    const QEventLoop::ProcessEventsFlags input = userInput ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
    if (mode_ == Mode::Busy) {
        QCoreApplication::processEvents(input);
        return;
    }

    // Without a pending timer, WaitForMoreEvents would block until the next click or
    // byte, which may never come.
    if (!pacer_.isActive())
        pacer_.start();

    const int outerLevel = pumpLevel_;
    pumpLevel_ = QThread::currentThread()->loopLevel();
    ++depth_;
    struct Restore {
        EventPump& pump;
        int level;
        ~Restore()
        {
            --pump.depth_;
            pump.pumpLevel_ = level;
        }
    } restore{*this, outerLevel};
    QCoreApplication::processEvents(input | QEventLoop::WaitForMoreEvents);
}

void EventPump::onPace()
{
    // The timer fires outside a pump once the waiting handler has returned to an event
    // loop, or when a message box opened inside the wait runs its own loop on top of it;
    // neither needs pacing, and the next pump starts the timer again.
    if (depth_ == 0 || QThread::currentThread()->loopLevel() > pumpLevel_)
        pacer_.stop();
}

}  // namespace splicerec
