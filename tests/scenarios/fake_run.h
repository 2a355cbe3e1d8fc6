#pragma once

// A scenario row against the protocol itself: the controller, the simulated instrument
// behind the fake port, the fake window and the log in memory, all on a fake clock, so a
// row of 5000 records or a three-second silence costs milliseconds. The fake-time runner
// plays the table's rows through it, the session fuzzer rows of its own.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "protocol/controller.h"
#include "scenarios/scenarios.h"
#include "support/fakes.h"

namespace splicerec::test {

struct FakeRun {
    explicit FakeRun(const Scenario& row)
        : row(row), instrument(row.behaviour), player(row.steps),
          port(window, clock, [this](std::uint8_t byte) { return instrument.receive(byte); }, row.behaviour.stalled),
          controller(window, port, clock, sink)
    {
        if (row.setup == Setup::OpenFailsOnce)
            port.openError = "Cannot open " + port.deviceName() + ": permission denied.";
        sink.unappendable = row.setup == Setup::LogFolderMissing;
        sink.failFrom = row.setup == Setup::LogFailsAtOnce ? 1
                        : row.setup == Setup::LogCutMidLine || row.setup == Setup::LogFolderVanishes ? 3
                                                                                                     : 0;
        sink.vanishes = row.setup == Setup::LogFolderVanishes;
        window.onPump([this] { tick(); });
        window.whileMessageShown = [this](const std::string& text) { inBox(text); };
        controller.startUp();
    }

    long nowMs() const { return std::chrono::duration_cast<std::chrono::milliseconds>(clock.now().time_since_epoch()).count(); }

    // Every pump is a millisecond of an event loop: a due step is dispatched in it.
    void tick()
    {
        if (window.pumps > pumpLimit && !window.quit) {
            hung = true;  // a wait that never ends: end it, and say so
            window.quit = true;
        }
        // A pump that takes no user input (the record handler's own) plays no step either.
        if (!window.userInput)
            return;
        if (const Step* step = player.due(nowMs(), static_cast<long>(port.heard().size()), depth == 0 && !boxOpen, boxOpen))
            act(*step);
    }

    void act(const Step& step)
    {
        if (step.action == Step::HangUp) {
            port.hangUp();
        } else if (step.action == Step::Stall) {
            clock.advance(std::chrono::milliseconds(kStallMs));
        } else if (step.action >= Step::Quit) {
            window.quit = true;
            pumpsAtQuit = window.pumps;
        } else if (step.action == Step::Click) {
            const std::map<std::string, std::pair<Button, void (Controller::*)()>> buttons = {
                {kTest, {Button::Command1, &Controller::comTest}}, {kStart, {Button::Command1, &Controller::start}},
                {kNext, {Button::Command4, &Controller::nextPage}}, {kAll, {Button::Command3, &Controller::readAll}},
                {kStop, {Button::Command2, &Controller::stopRead}}};
            const auto [button, handler] = buttons.at(step.button);
            // "Com Test" is never disabled; a disabled button cannot be clicked.
            if (step.button == std::string(kTest) || window.enabled.at(button)) {
                // A reader or link test begun inside another handler, or while a reply is still
                // on its way, may take that reply's bytes for its own: no line could tell.
                plain &= handler == &Controller::stopRead || (depth == 0 && !port.replying());
                ++depth;
                (controller.*handler)();
                --depth;
            }
        }
    }

    // The box's own event loop runs until the step that deals with it; else it is answered.
    void inBox(const std::string& text)
    {
        const auto& detail = window.details.back();
        boxes.push_back(detail.empty() ? text : text + "\n" + detail);
        // A download is never said to have ended before its records are on the disk, or
        // the disk has refused them.
        if (sink.synced != sink.lines.size() && !sink.syncFailed)
            unsynced.push_back(text);
        boxOpen = true;
        for (int pumps = 0; player.nextIsInBox() && !window.quit && pumps < 100'000; ++pumps)
            window.pumpEvents();
        boxOpen = false;
    }

    void play()
    {
        while (!player.done() && !window.quit && window.pumps < pumpLimit &&
               !(player.stuckAtRest(static_cast<long>(port.heard().size())) && !port.replying()))
            window.pumpEvents();
        // Whatever is still on its way arrives while the program is idle.
        for (int pumps = 0; pumps < 20'000 && port.replying() && !window.quit; ++pumps)
            window.pumpEvents();
    }

    const Scenario row;
    FakeClock clock;
    FakeWindow window{clock};
    FakeSink sink;
    sim::Instrument instrument;
    StepPlayer player;
    SimPort port;
    Controller controller;
    long pumpLimit = 1'000'000;  // a session's pumps, nested ones too
    int depth = 0;
    bool boxOpen = false, hung = false, plain = true;
    std::vector<std::string> boxes, unsynced;  // unsynced: boxes shown before the records were on the disk
    long pumpsAtQuit = -1;
};

}  // namespace splicerec::test
