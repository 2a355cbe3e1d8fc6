#include "protocol/link_test.h"

#include <algorithm>
#include <array>
#include <string>

#include "protocol/waits.h"

namespace splicerec {
namespace {

constexpr std::array<std::uint8_t, 6> kIdentification{'k', 'e', 's', 't', 'o', 'r'};

}  // namespace

bool LinkTest::replyIsIdentification() const
{
    const auto& slots = context_.state.linkReply;
    return std::equal(slots.begin(), slots.end(), kIdentification.begin(),
                      [](const auto& slot, std::uint8_t expected) { return slot && *slot == expected; });
}

void LinkTest::fail()
{
    context_.window.setStatusText(kFailureText);
    disableLowerButtons(context_.window);
}

void LinkTest::run()
{
    auto& window = context_.window;
    auto& port = context_.port;
    auto& state = context_.state;

    int wrongReplies = 0;
    disableLowerButtons(window);
    state.downloadDone = 0;
    state.stopRequested = 0;
    ++state.linkTestsStarted;
    // A reader this test interrupts no longer waits for its record.
    state.recordAwaited = 0;
    // A reply kept from an earlier test would skip the identification wait while the
    // instrument answers "s" with its identification, not with the count.
    state.linkReply = {};
    state.expectedNumber = 1;
    state.startAccount();
    state.recordsLogged = 0;
    Waiter wait(context_);

    if (!port.isOpen())
        port.open();
    window.setStatusText("Communicating...");

    try {
        waitForQuietLine(wait);
        port.clearOutput();
        port.clearInput();
        port.write("s");
        wait.drainOutput(wait.after(kDrainTimeout));
        while (!replyIsIdentification()) {
            if (!wait.until([&] { return port.pendingInput() == 6; }, wait.after(kIdentificationTimeout)))
                return fail();
            state.inputBuffer = port.readInput();
            for (std::size_t slot = 0; slot < state.linkReply.size(); ++slot) {
                state.linkReply[slot] = slot < state.inputBuffer.size()
                                            ? std::optional<std::uint8_t>(state.inputBuffer[slot])
                                            : std::nullopt;
            }
            if (replyIsIdentification()) {
                wrongReplies = 0;
                port.write("n");
            } else {
                ++wrongReplies;
                window.setStatusText(window.statusText() + ".");
                port.write("a");
            }
            wait.drainOutput(wait.after(kDrainTimeout));
            if (wrongReplies > kMaxWrongReplies)
                return fail();
        }

        if (!wait.until([&] { return port.pendingInput() == 2; }, wait.after(kCountTimeout)))
            return fail();
        state.inputBuffer = port.readInput();
        if (state.inputBuffer.size() < 2)
            return fail();
        state.linkReply[0] = state.inputBuffer[0];
        state.linkReply[1] = state.inputBuffer[1];
        state.recordCount = *state.linkReply[0] * 256 + *state.linkReply[1];
    } catch (const DeviceSilent&) {
        return fail();
    }

    window.setStatusText("Communication success !" + std::to_string(state.recordCount) +
                         " records in the device!");
    // With nothing stored, a download would only wait for a record that never comes.
    if (state.recordCount == 0)
        return;
    window.setEnabled(Button::Command3, true);
    window.setEnabled(Button::Command1, true);
    warnIfLogUnwritable();
}

// What is still on its way, the count of a link test this one interrupted (a double click)
// or a late record, would be taken for the start of the identification and shift every
// reply after it. A line that never falls quiet is left to fail the identification.
void LinkTest::waitForQuietLine(Waiter& wait)
{
    auto& port = context_.port;
    const auto giveUpAt = context_.clock.now() + kIdentificationTimeout;
    while (wait.until([&] { return port.pendingInput() > 0; }, wait.after(kQuietLine)) &&
           context_.clock.now() < giveUpAt)
        port.readInput();
}

// Said now, while the technician can still fix it, rather than at the first record.
void LinkTest::warnIfLogUnwritable()
{
    try {
        context_.log.checkAppendable();
    } catch (const LogError& error) {
        context_.showMessage("The records cannot be saved to " + context_.log.location() + " !",
                             std::string(error.what()) +
                                 ". Create the folder or allow yourself to write there, or start the program "
                                 "with --log and a file you may write, before reading any record.");
    }
}

}  // namespace splicerec
