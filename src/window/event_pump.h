#pragma once

#include <QTimer>

namespace splicerec {

// Runs the event loop from inside a handler that waits for the instrument.
//
// Paced: one pump dispatches whatever is pending, or sleeps until the next event, at
// most about a millisecond, so that a wait costs almost no CPU yet reacts to port data
// at once. A 1 ms timer provides that bound; it runs only while a wait pumps, since an
// idle program should not wake a thousand times a second.
// Busy: dispatches what is pending and returns at once; for measuring only.
class EventPump {
public:
    enum class Mode { Paced, Busy };

    explicit EventPump(Mode mode = Mode::Paced);
    EventPump(const EventPump&) = delete;
    EventPump& operator=(const EventPump&) = delete;

    void pumpOnce();

    // True while the pacing timer runs.
    bool pacing() const { return pacer_.isActive(); }
    Mode mode() const { return mode_; }

private:
    void onPace();

    Mode mode_;
    QTimer pacer_;
    int depth_ = 0;       // pumps on the stack
    int pumpLevel_ = -1;  // the thread's event loop level seen by the innermost pump
};

}  // namespace splicerec
