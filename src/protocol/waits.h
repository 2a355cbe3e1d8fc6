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

// Polling waits that keep the window alive. Each wait ends at its deadline, when the
// window closes, when the port is gone, and when a link test started inside it:
// nothing waits for ever.
class Waiter {
public:
    explicit Waiter(HandlerContext& context)
        : context_(context), linkTest_(context.state.linkTestsStarted)
    {
    }

    // Pumps events until `done()` holds; false when `deadline` passed first.
    template <typename Done>
    bool until(Done done, Clock::TimePoint deadline)
    {
        while (!done()) {
            if (context_.clock.now() >= deadline)
                return false;
            poll();
        }
        return true;
    }

    // Waits until the port has sent everything written; DeviceSilent at the deadline.
    void drainOutput(Clock::TimePoint deadline);

    Clock::TimePoint after(std::chrono::milliseconds delay) const { return context_.clock.now() + delay; }

private:
    void poll();

    HandlerContext& context_;
    unsigned linkTest_;
};

}  // namespace splicerec
