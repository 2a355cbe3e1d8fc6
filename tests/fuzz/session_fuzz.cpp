// The fuzz input plays the instrument (and a restless operator) through a whole session
// against the real controller on a fake clock. The session must end, every record shown
// must be in the log, in order, unless a save error was reported for it, and a handler
// interrupted by a newer link test must leave the line alone.
//
// Input: one flag byte (below), then entries taken one or more at a time each time the host
// writes a byte. An entry is a header byte and a delay byte (milliseconds):
//   00nnnnnn  the next n input bytes arrive after the delay; the last entry for this byte
//   01nnnnnn  the same, and another entry follows
//   10xxxxxx  the line drops after the delay (the port closes itself); the last entry
//   11xxxccc  the operator clicks button ccc % 6 (see press) after the delay; another follows
// An exhausted input is an instrument that has gone quiet.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "protocol/controller.h"
#include "support/fakes.h"

namespace splicerec::fuzz {
namespace {

using namespace test;

[[noreturn]] void violated(const std::string& what)
{
    std::fprintf(stderr, "session_fuzz: %s\n", what.c_str());
    std::abort();
}

// Flag byte; a high nibble K > 0 breaks the log from the K-th record shown on.
constexpr std::uint8_t kLogBrokenFromStart = 0x01, kStartInsteadOfReadAll = 0x02, kFirstOpenFails = 0x04;

// The far end of the port: each byte the host writes takes the next entries of the input.
struct Script {
    std::vector<sim::Emission> receive(std::uint8_t)
    {
        std::vector<sim::Emission> out;
        for (bool more = true; more && at < end;) {
            const std::uint8_t header = *at++, delay = at < end ? *at++ : 0;
            const auto after = std::chrono::milliseconds(delay);
            const int kind = header >> 6;
            if (kind == 3) {
                clicks.emplace(clock.now() + after, (header & 0x07) % 6);
            } else if (kind == 2) {
                out.push_back({after, {}, true});
            } else {
                const std::size_t count = std::min<std::size_t>(header & 0x3F, end - at);
                out.push_back({after, std::vector<std::uint8_t>(at, at + count)});
                at += count;
            }
            more = kind == 1 || kind == 3;
        }
        return out;
    }

    FakeClock& clock;
    const std::uint8_t *at, *end;
    std::multimap<Clock::TimePoint, int> clicks;  // in order due
};

void runSession(const std::uint8_t* data, std::size_t size)
{
    const std::uint8_t flags = data[0];
    FakeClock clock;
    FakeWindow window(clock);
    FakeSink sink;
    Script script{clock, data + 1, data + size, {}};
    SimPort port(window, clock, [&script](std::uint8_t byte) { return script.receive(byte); });
    Controller controller(window, port, clock, sink);
    if (flags & kFirstOpenFails)
        port.openError = "Cannot open " + port.deviceName() + ": it is in use by another program.";
    if (flags & kLogBrokenFromStart)
        sink.failFrom = 1;
    else if (flags >> 4)
        sink.failFrom = flags >> 4;

    // Every host byte can cost at most one reply timeout (a few seconds) and consumes at
    // least one entry while the input lasts: far fewer pumps than this.
    const long pumpLimit = 100'000 + 5'000 * static_cast<long>(size);
    // With nothing in flight a pump changes nothing but the time, so let time run faster
    // towards the deadlines: a timeout costs a few pumps instead of thousands.
    window.onPump([&] {
        if (window.pumps > pumpLimit)
            violated("the session did not end within " + std::to_string(pumpLimit) + " pumps");
        if (!port.replying() && script.clicks.empty())
            clock.advance(std::chrono::milliseconds(499));
    });
    // Each save error belongs to the record just shown, and to no other.
    std::size_t saveErrors = 0;
    window.whileMessageShown = [&](const std::string& text) {
        if (text == "Unexpected error !")
            violated("a handler failed unexpectedly: " + window.details.back());
        saveErrors += text == "RECORD SAVE ERROR !!";
    };

    // Handlers nest as clicks arrive inside waits. A link test that returns leaves the
    // handlers it interrupted superseded: none of them may touch the line again.
    int depth = 0, superseded = 0;  // handlers at `superseded` depth and below are superseded
    std::size_t heardBefore = 0;
    const auto checkWrites = [&] {
        if (port.heard.size() != heardBefore && depth <= superseded)
            violated("a handler superseded by a newer link test wrote \"" + port.heard.substr(heardBefore) + "\"");
        heardBefore = port.heard.size();
    };
    // Click codes: StopRead, Com Test (never disabled), Start, Next Page, ReadAll, close
    // the window. A click on a disabled button does nothing, as in the real window.
    const auto press = [&](int code) {
        static constexpr std::pair<Button, void (Controller::*)()> kButtons[] = {
            {Button::Command2, &Controller::stopRead}, {Button::Command1, &Controller::comTest},
            {Button::Command1, &Controller::start}, {Button::Command4, &Controller::nextPage},
            {Button::Command3, &Controller::readAll}};
        if (code == 5) {
            window.quit = true;
        } else if (const auto [button, handler] = kButtons[code]; code == 1 || window.enabled.at(button)) {
            checkWrites();
            ++depth;
            (controller.*handler)();
            --depth;
            superseded = handler == &Controller::comTest ? depth : std::min(superseded, depth);
            heardBefore = port.heard.size();
        }
    };
    window.onPump([&] {
        checkWrites();
        while (!script.clicks.empty() && script.clicks.begin()->first <= clock.now())
            press(script.clicks.extract(script.clicks.begin()).mapped());
    });

    controller.startUp();
    for (int code : flags & kStartInsteadOfReadAll ? std::vector{1, 2, 3} : std::vector{1, 4})
        press(code);
    // The window stays open: whatever the input still has in flight arrives idle.
    while ((port.replying() || !script.clicks.empty()) && !window.quit)
        window.pumpEvents();

    // Every record shown is in the log, in order, unless its save failed. Start-up
    // clears the record caption; every other caption is a record.
    window.captions.erase(std::remove(window.captions.begin(), window.captions.end(), ""), window.captions.end());
    if (sink.lines.size() + saveErrors != window.captions.size()) {
        violated("records shown: " + std::to_string(window.captions.size()) + ", logged: " +
                 std::to_string(sink.lines.size()) + ", save errors: " + std::to_string(saveErrors));
    }
    std::size_t logged = 0;
    for (const auto& line : window.captions) {
        if (logged < sink.lines.size() && sink.lines[logged] == line)
            ++logged;
    }
    if (logged != sink.lines.size())
        violated("the log is not the records shown, in order");
}

}  // namespace
}  // namespace splicerec::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0)
        splicerec::fuzz::runSession(data, size);
    return 0;
}
