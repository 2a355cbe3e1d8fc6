#pragma once

#include <chrono>

#include "protocol/handler_context.h"

namespace splicerec {

class Waiter;

// "Com Test": checks that the instrument answers and learns how many records it holds.
class LinkTest {
public:
    // The time the identification wait's 15000 polls were meant to allow.
    static constexpr std::chrono::milliseconds kIdentificationTimeout{1500};
    static constexpr std::chrono::milliseconds kCountTimeout{2000};
    static constexpr std::chrono::milliseconds kDrainTimeout{3000};
    static constexpr int kMaxWrongReplies = 10;
    // Before "s" the line must have been quiet this long: longer than a splicer takes to
    // start answering a command (50 ms), so that no reply to an earlier one is still to come.
    static constexpr std::chrono::milliseconds kQuietLine{100};

    static constexpr const char* kFailureText = "Communication error ! Please check the cable !";

    explicit LinkTest(HandlerContext& context) : context_(context) {}

    void run();

private:
    void waitForQuietLine(Waiter& wait);
    bool replyIsIdentification() const;
    void fail();
    void warnIfLogUnwritable();

    HandlerContext& context_;
};

}  // namespace splicerec
