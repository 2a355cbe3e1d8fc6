#pragma once

#include <chrono>
#include <stdexcept>

#include "protocol/handler_context.h"

namespace splicerec {

// Ways a handler stops short; each is caught where the handler was entered and never
// crosses the window's event loop.
struct QuitRequested {};  // the window is closing
struct HandlerSuperseded {};  // the download ended or a newer link test took the line
class DeviceSilent : public std::runtime_error {
public:
    DeviceSilent() : std::runtime_error("Device not responding ! Please check the cable !") {}
};

// A moment to give up at. Time the technician spends reading a message box opened
// inside the wait does not count: the instrument cannot be late while nobody asked it.
struct Deadline {
    Clock::TimePoint at;
    Clock::duration boxesBefore;
};

// Polling waits that keep the window alive. Each wait ends at its deadline, when the
// window closes, when the port is gone, and when a link test started inside it:
// nothing waits for ever.
class Waiter {
public:
    // Enough for a few rounds of the event loop to dispatch what arrived meanwhile.
    static constexpr std::chrono::milliseconds kLastLook{20};

    // Without `userInput` no click runs a handler nested in the wait: for a wait inside the
    // record handler, which others' waits are nested around.
    explicit Waiter(HandlerContext& context, bool userInput = true)
        : context_(context), linkTest_(context.state.linkTestsStarted), userInput_(userInput)
    {
    }

    // Pumps events until `done()` holds; false when `deadline` passed first.
    template <typename Done>
    bool until(Done done, Deadline deadline)
    {
        while (!done()) {
            if (expired(deadline)) {
                // The program may have been stopped past the deadline (a stalled laptop)
                // while the answer came: take in what is pending before giving up.
                const auto lastLook = context_.clock.now() + kLastLook;
                while (!done() && context_.clock.now() < lastLook)
                    poll();
                return done();
            }
            poll();
        }
        return true;
    }

    // Waits until the port has sent everything written; DeviceSilent at the deadline.
    void drainOutput(Deadline deadline);

    Deadline after(std::chrono::milliseconds delay) const
    {
        return {context_.clock.now() + delay, context_.state.timeInBoxes};
    }

private:
    bool expired(const Deadline& deadline) const
    {
        return context_.clock.now() >= deadline.at + (context_.state.timeInBoxes - deadline.boxesBefore);
    }
    void poll();

    HandlerContext& context_;
    unsigned linkTest_;
    bool userInput_;
};

}  // namespace splicerec
