#pragma once

#include <chrono>

namespace splicerec {

// Monotonic time for the protocol's deadlines; tests drive their own.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using duration = std::chrono::steady_clock::duration;
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

class SteadyClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace splicerec
