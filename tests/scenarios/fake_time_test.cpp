// The scenario table against the protocol itself: the controller, the simulated instrument
// behind the fake port, the fake window and the log in memory, all on a fake clock, so a
// row of 5000 records or a three-second silence costs milliseconds.
#include <gtest/gtest.h>

#include "protocol/controller.h"
#include "scenarios/outcome.h"
#include "support/fakes.h"

namespace splicerec::test {
namespace {

struct FakeRun {
    explicit FakeRun(const Scenario& row)
        : row(row), instrument(row.behaviour), player(row.steps),
          port(window, clock, [this](std::uint8_t byte) { return instrument.receive(byte); }, row.behaviour.stalled),
          controller(window, port, clock, sink)
    {
        if (row.setup == Setup::OpenFailsOnce)
            port.openError = "Cannot open " + port.deviceName() + ": permission denied.";
        sink.unappendable = row.setup == Setup::LogFolderMissing;
        sink.failFrom = row.setup == Setup::LogFailsAtOnce ? 1 : row.setup == Setup::LogCutMidLine ? 3 : 0;
        window.onPump([this] { tick(); });
        window.whileMessageShown = [this](const std::string& text) { inBox(text); };
        controller.startUp();
    }

    long nowMs() const { return std::chrono::duration_cast<std::chrono::milliseconds>(clock.now().time_since_epoch()).count(); }

    // Every pump is a millisecond of an event loop: a due step is dispatched in it.
    void tick()
    {
        // A pump that takes no user input (the record handler's own) plays no step either.
        if (!window.userInput)
            return;
        if (const Step* step = player.due(nowMs(), static_cast<long>(port.heard.size()), depth == 0 && !boxOpen, boxOpen))
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
        // A download is never said to have ended before its records are on the disk.
        EXPECT_EQ(sink.synced, sink.lines.size()) << "unsynced records when \"" << text << "\" was shown";
        boxOpen = true;
        for (int pumps = 0; player.nextIsInBox() && !window.quit && pumps < 100'000; ++pumps)
            window.pumpEvents();
        boxOpen = false;
    }

    void play()
    {
        for (long pumps = 0; !player.done() && !window.quit; ++pumps) {
            ASSERT_LT(pumps, 100'000) << "a step never came due";
            window.pumpEvents();
        }
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
    int depth = 0;
    bool boxOpen = false;
    std::vector<std::string> boxes;
    long pumpsAtQuit = -1;
};

class FakeTime : public testing::TestWithParam<Scenario> {};

TEST_P(FakeTime, endsAsTheRowSays)
{
    const auto& row = GetParam();
    FakeRun run(row);
    EXPECT_EQ(run.window.buttons(), "") << "after start-up only Com Test is enabled";
    run.play();

    expectOutcome(row, {run.boxes, run.window.status, run.window.buttons(), run.port.isOpen(), run.sink.lines,
                        run.window.page, run.port.heard},
                  run.port.deviceName(), run.sink.location());
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

INSTANTIATE_TEST_SUITE_P(Scenarios, FakeTime, testing::ValuesIn(rowsFor(kFake)),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FakeTime, eachWaitFailsAtItsDeadlineNotBefore)
{
    const std::tuple<sim::Behaviour, std::vector<Step>, std::chrono::milliseconds> cases[] = {
        {{.silent = true}, linked(), 1500ms},
        {{.countReplyLength = 0}, linked(), 2000ms},
        {{.stalled = true}, linked(), 3000ms},
        {{.silentAfterRecords = 0}, started(), 3000ms}};
    for (const auto& [behaviour, steps, deadline] : cases) {
        FakeRun run({"deadline", kFake, behaviour, steps, kFailed});
        run.play();
        EXPECT_GE(run.clock.now().time_since_epoch(), deadline);
        EXPECT_LT(run.clock.now().time_since_epoch(), deadline + 100ms);
    }
}

// While the record handler judges a reply it pumps events, but no click may run a handler
// inside it: a reader started there would clear the input under the frame being judged.
TEST(FakeTime, noClickRunsWhileTheRecordHandlerJudgesAReply)
{
    FakeRun run({"judging", kFake, {.strayByteBeforeRecord = 2}, reading(), done(57, "StopRead")});
    long withoutInput = 0;
    run.window.onPump([&] { withoutInput += !run.window.userInput; });
    run.play();
    EXPECT_GT(withoutInput, 0) << "the quiet-line wait took user input";
    EXPECT_EQ(run.sink.lines, expectedLines({{1, 57}}));
}

// Noise before a download, a frame numbered above the count, a frame in two pieces whose
// number, not the number of frames taken, ends the download.
TEST(FakeTime, onlyAnAwaitedWholeFrameIsARecordAndItsNumberDecidesTheEnd)
{
    FakeRun run({"frames", kFake, {.records = 5, .silentAfterRecords = 0}, linked(), kFailed});
    run.play();
    run.port.inject({0x00, 0x01, 0x06, 0x24, 0x01, 0x02, 0x03, 0x04});  // nobody asked for it
    bool injected = false;
    run.window.onPump([&] {
        if (run.port.heard.size() == 3 && !std::exchange(injected, true)) {
            run.port.inject({0x00, 0x06, 0x06, 0x24, 0x01, 0x02, 0x03, 0x04});  // record 6 of 5: noise
            run.port.inject({0x00, 0x05, 0x06, 0x24, 0x01, 0x02, 0x03});  // seven bytes: no record yet
            run.port.inject({0x04});
        }
    });
    run.controller.start();
    EXPECT_EQ(run.sink.lines, std::vector<std::string>{"NO 00005: 2024-01-02 03:04   LOSS:0.06dB"});
    EXPECT_EQ(run.port.heard, "sn" + requests(1)) << "record 5 of 5 completed the download";
    EXPECT_EQ(run.window.messages, std::vector<std::string>{kComplete});
}

// Bytes that came while nobody waited, a glitch on an idle cable, are not the next identification.
TEST(FakeTime, aComTestIgnoresWhatCameWhileTheLineWasIdle)
{
    FakeRun run({"idle noise", kFake, {}, linked(), kLinked});
    run.play();
    run.port.inject({0x55, 0xAA});
    run.controller.comTest();
    EXPECT_EQ(run.window.status, ok(57));
}

}  // namespace
}  // namespace splicerec::test
