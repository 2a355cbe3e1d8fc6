// The scenario table against the protocol itself: the controller, the simulated instrument
// behind the fake port, the fake window and the log in memory, all on a fake clock, so a
// row of 5000 records or a three-second silence costs milliseconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "protocol/controller.h"
#include "scenarios/outcome.h"
#include "support/fakes.h"

namespace splicerec::test {
namespace {

struct FakeRun {
    explicit FakeRun(const Scenario& row)
        : row(row),
          instrument(row.behaviour),
          port(window, clock, [this](std::uint8_t byte) { return instrument.receive(byte); }, row.behaviour.stalled),
          controller(window, port, clock, sink)
    {
        if (row.setup == Setup::OpenFailsOnce)
            port.openError = "Cannot open " + port.deviceName() + ": permission denied.";
        sink.failFrom = row.setup == Setup::LogFailsAtOnce ? 1 : row.setup == Setup::LogCutMidLine ? 3 : 0;
        window.onPump([this] { playDueStep(); });
        window.whileMessageShown = [this](const std::string& text) { onMessage(text); };
        controller.startUp();
    }

    void press(const std::string& caption)
    {
        static const std::pair<std::string, std::pair<Button, void (Controller::*)()>> kButtons[] = {
            {kTest, {Button::Command1, &Controller::comTest}}, {kStart, {Button::Command1, &Controller::start}},
            {kNext, {Button::Command4, &Controller::nextPage}}, {kAll, {Button::Command3, &Controller::readAll}},
            {kStop, {Button::Command2, &Controller::stopRead}}};
        const auto* found = std::find_if(std::begin(kButtons), std::end(kButtons),
                                         [&](const auto& entry) { return entry.first == caption; });
        ASSERT_NE(found, std::end(kButtons)) << caption;
        const auto [button, handler] = found->second;
        // "Com Test" is never disabled; a disabled button cannot be clicked.
        if (caption == kTest || window.isEnabled(button))
            (controller.*handler)();
    }

    void act(const Step& step)
    {
        ++next;
        switch (step.action) {
        case Step::Click: return press(step.button);
        case Step::HangUp: return port.hangUp();
        case Step::Quit:
        case Step::CloseWindow:
            window.quit = true;
            pumpsAtQuit = window.pumps;
            return;
        case Step::AnswerBox: return;
        case Step::Sigterm: FAIL() << "a signal needs the real program";
        }
    }

    // Inside every pump: a step whose trigger is the bytes the instrument heard.
    void playDueStep()
    {
        if (next >= row.steps.size() || row.steps[next].heard < 0)
            return;
        const auto& step = row.steps[next];
        if (static_cast<int>(port.heard.size()) < step.heard)
            return;
        since = since.value_or(clock.now());
        if (clock.now() - *since >= std::chrono::milliseconds(step.ms)) {
            since.reset();
            act(step);
        }
    }

    // Time passes as in an event loop: each pump is a millisecond and dispatches what came.
    void idle(int ms)
    {
        for (int i = 0; i < ms && !window.quit; ++i)
            window.pumpEvents();
    }

    // The technician reads the box for `ms` while its own event loop runs, then acts.
    void onMessage(const std::string& text)
    {
        boxes.push_back(text);
        if (next < row.steps.size() && row.steps[next].heard == kInBox) {
            idle(row.steps[next].ms);
            act(row.steps[next]);
        }
    }

    void play()
    {
        while (next < row.steps.size() && !window.quit) {
            const auto& step = row.steps[next];
            ASSERT_NE(step.heard, kInBox) << "no message box was open for step " << next;
            if (step.heard == kAtRest) {
                idle(step.ms);
                act(step);
                continue;
            }
            // Idle until the instrument has heard enough; the pumps play the step.
            for (long idle = 0; next < row.steps.size() && &row.steps[next] == &step; ++idle) {
                ASSERT_LT(idle, 100'000) << "step " << next << " never came due";
                window.pumpEvents();
            }
        }
        // Whatever is still on its way arrives while the program is idle.
        for (int idle = 0; idle < 20'000 && port.replying() && !window.quit; ++idle)
            window.pumpEvents();
    }

    const Scenario row;
    FakeClock clock;
    FakeWindow window{clock};
    FakeSink sink;
    sim::Instrument instrument;
    SimPort port;
    Controller controller;
    std::size_t next = 0;
    std::optional<Clock::TimePoint> since;
    std::vector<std::string> boxes;
    long pumpsAtQuit = -1;
};

class FakeTime : public testing::TestWithParam<Scenario> {};

TEST_P(FakeTime, EndsAsTheRowSays)
{
    const auto& row = GetParam();
    FakeRun run(row);
    EXPECT_EQ(run.window.buttons(), "") << "after start-up only Com Test is enabled";
    run.play();

    expectOutcome(row, {run.boxes, run.window.statusText(), run.window.buttons(), run.port.isOpen(), run.sink.lines,
                        run.window.pageText(), run.port.heard},
                  run.port.deviceName());
    if (const int last = row.lastShown(); last > 0) {
        EXPECT_EQ(run.window.progress, std::pair(last, std::min(row.behaviour.records, 5000)));
    }
    // Each wrong identification adds a dot to the status line.
    if (const int wrong = std::min(row.behaviour.wrongIdentifications, 11); wrong > 0) {
        const auto& history = run.window.statusHistory;
        EXPECT_NE(std::find(history.begin(), history.end(), "Communicating..." + std::string(wrong, '.')),
                  history.end());
    }
    if (run.pumpsAtQuit >= 0) {
        EXPECT_LE(run.window.pumps - run.pumpsAtQuit, 2) << "a wait went on after the quit";
    }
}

std::vector<Scenario> fakeRows()
{
    std::vector<Scenario> rows;
    std::copy_if(kScenarios.begin(), kScenarios.end(), std::back_inserter(rows),
                 [](const Scenario& row) { return row.runners & kFake; });
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FakeTime, testing::ValuesIn(fakeRows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FakeTimeDeadlines, SilenceAndAMissingCountFailAtTheirDeadlinesNotBefore)
{
    const std::pair<sim::Behaviour, std::chrono::milliseconds> cases[] = {
        {{.silent = true}, 1500ms}, {{.countReplyLength = 0}, 2000ms}, {{.silentAfterRecords = 0}, 3000ms}};
    for (const auto& [behaviour, deadline] : cases) {
        FakeRun run({"deadline", kFake, behaviour, started(), kFailed});
        const auto started = run.clock.now();
        run.controller.comTest();
        if (behaviour.silentAfterRecords == 0) {
            const auto linkedAt = run.clock.now();
            run.controller.start();
            EXPECT_EQ(run.window.messages, std::vector<std::string>{kSilent});
            EXPECT_GE(run.clock.now() - linkedAt, deadline);
            EXPECT_LT(run.clock.now() - linkedAt, deadline + 100ms);
            continue;
        }
        EXPECT_EQ(run.window.statusText(), kFail);
        EXPECT_GE(run.clock.now() - started, deadline);
        EXPECT_LT(run.clock.now() - started, deadline + 100ms);
    }
}

// Noise before a download, a frame in two pieces, a number above the count.
TEST(FakeTimeFrames, OnlyAnAwaitedWholeFrameIsARecordAndItsNumberDecidesTheEnd)
{
    FakeRun run({"frames", kFake, {.records = 3, .silentAfterRecords = 0}, started(), kFailed});
    run.controller.comTest();
    run.port.inject({0x00, 0x01, 0x06, 0x24, 0x01, 0x02, 0x03, 0x04});  // nobody asked for it
    bool injected = false;
    run.window.onPump([&] {
        if (run.port.heard.size() == 3 && !std::exchange(injected, true)) {
            run.port.inject({0x00, 0x04, 0x06, 0x24, 0x01, 0x02, 0x03});  // seven bytes: no record yet
            run.port.inject({0x04});
        }
    });
    run.controller.start();
    EXPECT_EQ(run.sink.lines, std::vector<std::string>{"NO 00004: 2024-01-02 03:04   LOSS:0.06dB"});
    EXPECT_EQ(run.port.heard, "sn" + requests(2)) << "record 4 of 3 did not complete the download";
}

}  // namespace
}  // namespace splicerec::test
