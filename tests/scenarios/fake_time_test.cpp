// The scenario table against the protocol itself, in fake time.
#include <gtest/gtest.h>

#include "scenarios/fake_run.h"
#include "scenarios/outcome.h"

namespace splicerec::test {
namespace {

class FakeTime : public testing::TestWithParam<Scenario> {};

TEST_P(FakeTime, endsAsTheRowSays)
{
    const auto& row = GetParam();
    FakeRun run(row);
    EXPECT_EQ(run.window.buttons(), "") << "after start-up only Com Test is enabled";
    run.play();
    EXPECT_FALSE(run.hung) << "a wait never ended";
    EXPECT_TRUE(run.player.done()) << "a step never came due";
    EXPECT_EQ(run.unsynced, std::vector<std::string>{}) << "boxes shown before the records were on the disk";

    expectOutcome(row, {run.boxes, run.window.status, run.window.buttons(), run.port.isOpen(), run.sink.lines,
                        run.window.page, run.port.heard()},
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

// The fake port, log and clock script what no real device does on demand.
INSTANTIATE_TEST_SUITE_P(Scenarios, FakeTime,
                         testing::ValuesIn(rowsFor(kFullDisk | kScriptedPort | kDrivenClock | kScriptedLog)),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FakeTime, eachWaitFailsAtItsDeadlineNotBefore)
{
    // Every link test first waits 100 ms for a quiet line.
    const std::tuple<sim::Behaviour, std::vector<Step>, std::chrono::milliseconds> cases[] = {
        {{.silent = true}, linked(), 100ms + 1500ms},
        {{.countReplyLength = 0}, linked(), 100ms + 2000ms},
        {{.stalled = true}, linked(), 100ms + 3000ms},
        {{.silentAfterRecords = 0}, started(), 100ms + 3000ms}};
    for (const auto& [behaviour, steps, deadline] : cases) {
        FakeRun run({"deadline", kNothing, behaviour, steps, kFailed});
        run.play();
        EXPECT_GE(run.clock.now().time_since_epoch(), deadline);
        EXPECT_LT(run.clock.now().time_since_epoch(), deadline + 100ms);
    }
}

// While the record handler judges a reply it pumps events, but no click may run a handler
// inside it: a reader started there would clear the input under the frame being judged.
TEST(FakeTime, noClickRunsWhileTheRecordHandlerJudgesAReply)
{
    FakeRun run({"judging", kNothing, {.strayByteBeforeRecord = 2}, reading(), done(57, "StopRead")});
    long withoutInput = 0;
    run.window.onPump([&] { withoutInput += !run.window.userInput; });
    run.play();
    EXPECT_GT(withoutInput, 0) << "the quiet-line wait took user input";
    EXPECT_EQ(run.sink.lines, expectedLines({{1, 57}}));
}

// Noise before a download and frames numbered above the count or 0 are nobody's record;
// the last record's number, arriving in two pieces in place of record 1, neither ends the
// download nor is logged: record 1 is named missing, and record 2 is taken when it comes.
TEST(FakeTime, onlyAnAwaitedWholeFrameIsARecordAndANumberOutOfPlaceEndsNothing)
{
    FakeRun run({"frames", kNothing, {.records = 5, .silentAfterRecords = 0}, linked(), kFailed});
    run.play();
    run.port.inject({0x00, 0x01, 0x06, 0x24, 0x01, 0x02, 0x03, 0x04});  // nobody asked for it
    std::size_t injectedAt = 0;
    run.window.onPump([&] {
        const auto heard = run.port.heard().size();
        if (heard == 3 && std::exchange(injectedAt, heard) != heard) {
            run.port.inject({0x00, 0x06, 0x06, 0x24, 0x01, 0x02, 0x03, 0x04});  // record 6 of 5: noise
            run.port.inject({0x00, 0x00, 0x06, 0x24, 0x01, 0x02, 0x03, 0x04});  // no record is 0: noise
            run.port.inject({0x00, 0x05, 0x06, 0x24, 0x01, 0x02, 0x03});  // seven bytes: no record yet
            run.port.inject({0x04});
        } else if (heard == 4 && std::exchange(injectedAt, heard) != heard) {
            run.port.inject({0x00, 0x02, 0x06, 0x24, 0x01, 0x02, 0x03, 0x05});
        }
    });
    run.controller.start();
    EXPECT_EQ(run.sink.lines, std::vector<std::string>{"NO 00002: 2024-01-02 03:05   LOSS:0.06dB"});
    EXPECT_EQ(run.port.heard(), "sn" + requests(3)) << "the download went on after the record numbered 5";
    EXPECT_EQ(run.window.messages, std::vector<std::string>{kSilent});
    EXPECT_EQ(run.window.status, "Records missing from the log (garbled on the line): 1. Com Test, then ReadAll, reads them again.");
}

// Bytes that came while nobody waited, a glitch on an idle cable, are not the next identification.
TEST(FakeTime, aComTestIgnoresWhatCameWhileTheLineWasIdle)
{
    FakeRun run({"idle noise", kNothing, {}, linked(), kLinked});
    run.play();
    run.port.inject({0x55, 0xAA});
    run.controller.comTest();
    EXPECT_EQ(run.window.status, ok(57));
}

}  // namespace
}  // namespace splicerec::test
