#include "protocol/waits.h"

namespace splicerec {

void Waiter::drainOutput(Deadline deadline)
{
    if (!until([this] { return context_.port.pendingOutput() == 0; }, deadline))
        throw DeviceSilent();
}

void Waiter::poll()
{
    if (context_.window.quitRequested())
        throw QuitRequested{};
    if (context_.state.linkTestsStarted != linkTest_)
        throw HandlerSuperseded{};
    if (!context_.port.isOpen()) {
        // Closed by the port itself on a failure, or on purpose by the record handler
        // at the end of the download or after a save error.
        if (auto failure = context_.port.failure())
            throw *failure;
        throw HandlerSuperseded{};
    }
    context_.window.pumpEvents(userInput_);
    // A link test run inside this pump supersedes the wait even if its condition now holds.
    if (context_.state.linkTestsStarted != linkTest_)
        throw HandlerSuperseded{};
}

}  // namespace splicerec
