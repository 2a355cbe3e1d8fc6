#pragma once

#include <QTimer>

namespace splicerec {

// Runs the event loop from inside a handler that waits for the instrument.
//
// Paced: one pump dispatches whatever is pending, or sleeps until the next event, at
// most about kPaceIntervalMs, so that a wait costs almost no CPU yet reacts to port data
// at once. Every change a wait looks for (bytes, a click, a close) arrives as an event
// and ends the sleep; the timer only bounds how late a wait notices its deadline. It
// runs only while a wait pumps, since an idle program should not wake at all.
// Busy: dispatches what is pending and returns at once; for measuring only.
class EventPump {
public:
    enum class Mode { Paced, Busy };

    // Each wake-up costs tens of microseconds of kernel and dispatcher time: at 1 ms the
    // ticks alone took 2 to 3% of a core of a small virtual machine, at 10 ms a tenth of
    // that. Deadlines are seconds long, so noticing one 10 ms late does not matter.
    static constexpr int kPaceIntervalMs = 10;

    explicit EventPump(Mode mode = Mode::Paced);
    EventPump(const EventPump&) = delete;
    EventPump& operator=(const EventPump&) = delete;

    void pumpOnce(bool userInput = true);

    // True while the pacing timer runs.
    bool pacing() const { return pacer_.isActive(); }

private:
    void onPace();

    Mode mode_;
    QTimer pacer_;
    int depth_ = 0;       // pumps on the stack
    int pumpLevel_ = -1;  // the thread's event loop level seen by the innermost pump
};

}  // namespace splicerec
