#include <gtest/gtest.h>

#include "protocol/record_line.h"
#include "support/session.h"

namespace splicerec::test {
namespace {

using namespace std::chrono_literals;

std::string lineOf(int number)
{
    const auto frame = sim::Instrument::frame(number);
    return RecordLine::fromFrame(frame).text;
}

std::vector<std::string> linesOf(int first, int last)
{
    std::vector<std::string> lines;
    for (int number = first; number <= last; ++number)
        lines.push_back(lineOf(number));
    return lines;
}

sim::Behaviour withRecords(int records)
{
    sim::Behaviour behaviour;
    behaviour.records = records;
    return behaviour;
}

// A linked session, ready to download.
struct Linked : Session {
    explicit Linked(sim::Behaviour behaviour = {}) : Session(behaviour)
    {
        controller.comTest();
        mark = port.written().size();
    }
    std::size_t mark = 0;
};

TEST(Download, StartReadsOnePageOneRequestAtATime)
{
    Linked session;
    // Each request must find the previous record already taken.
    bool overlapped = false;
    std::size_t lastSize = session.port.written().size();
    session.window.onPump([&] {
        if (session.port.written().size() != lastSize) {
            overlapped |= session.port.pendingInput() != 0;
            lastSize = session.port.written().size();
        }
    });
    session.controller.start();

    EXPECT_EQ(session.requestsSince(session.mark), 20);
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(session.pageLines(), linesOf(1, 20));
    EXPECT_EQ(session.logLines(), linesOf(1, 20));
    EXPECT_EQ(session.lowerButtons(), buttons(false, true, true, true));
    EXPECT_EQ(session.window.recordCaption(), lineOf(20));
    EXPECT_EQ(session.window.progress(), std::make_pair(20, 57));

    session.controller.nextPage();
    EXPECT_EQ(session.pageLines(), linesOf(21, 40)) << "a new page replaces the text area";
    EXPECT_EQ(session.logLines(), linesOf(1, 40));
    EXPECT_EQ(session.lowerButtons(), buttons(false, true, true, true));
}

TEST(Download, FirstRecordOfAPageReplacesWhatTheOperatorTyped)
{
    Linked session;
    session.window.setPageText("typed by hand");
    session.controller.start();
    EXPECT_EQ(session.pageLines().front(), lineOf(1));
}

TEST(Download, ReadAllReadsPagesToTheLastRecord)
{
    Linked session(withRecords(45));
    session.controller.readAll();

    EXPECT_EQ(session.logLines(), linesOf(1, 45));
    EXPECT_EQ(session.pageLines(), linesOf(41, 45));
    EXPECT_EQ(session.window.messages(), std::vector<std::string>{"RECORD DOWNLOAD COMPLETE !"});
    EXPECT_EQ(session.window.progress(), std::make_pair(45, 45));
    EXPECT_EQ(session.requestsSince(session.mark), 45);
    EXPECT_FALSE(session.port.isOpen());
    EXPECT_EQ(session.controller.state().downloadDone, 1);
    EXPECT_EQ(session.controller.state().recordArrived, 0);
    // The reader ends without its closing changes: only "StopRead" is left enabled.
    EXPECT_EQ(session.lowerButtons(), buttons(false, false, false, true));
}

TEST(Download, ReadAllAgainAfterCompletionReopensAndReads)
{
    Linked session(withRecords(3));
    session.controller.readAll();
    session.controller.stopRead();
    session.controller.readAll();

    EXPECT_EQ(session.port.opens(), 2);
    auto expected = linesOf(1, 3);
    const auto again = linesOf(1, 3);
    expected.insert(expected.end(), again.begin(), again.end());
    EXPECT_EQ(session.logLines(), expected);
    EXPECT_EQ(session.window.messages().size(), 2u);
}

TEST(Download, StopReadLetsTheAwaitedRecordArriveThenStops)
{
    Linked session;
    session.window.onPump([&] {
        if (session.requestsSince(session.mark) == 5 && session.controller.state().stopRequested == 0)
            session.controller.stopRead();
    });
    session.controller.readAll();

    EXPECT_EQ(session.requestsSince(session.mark), 5);
    EXPECT_EQ(session.logLines(), linesOf(1, 5));
    EXPECT_EQ(session.pageLines(), linesOf(1, 5));
    EXPECT_EQ(session.window.messages(), std::vector<std::string>{"Reading record stopped !"});
    EXPECT_EQ(session.window.progress(), std::make_pair(5, 57));
    EXPECT_EQ(session.lowerButtons(), buttons(false, true, true, true));
}

struct CompletionCase {
    const char* name;
    int records;       // what the instrument holds and reports
    int lastLogged;    // the record number that completes the download
};

class Completion : public testing::TestWithParam<CompletionCase> {};

TEST_P(Completion, EndsAtTheLastRecordOrAtTheLimit)
{
    const auto& c = GetParam();
    Linked session(withRecords(c.records));
    session.controller.readAll();

    const auto lines = session.logLines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(c.lastLogged));
    EXPECT_EQ(lines.back(), lineOf(c.lastLogged));
    EXPECT_EQ(session.window.messages(), std::vector<std::string>{"RECORD DOWNLOAD COMPLETE !"});
    EXPECT_FALSE(session.port.isOpen());
}

INSTANTIATE_TEST_SUITE_P(Counts, Completion, testing::Values(
    CompletionCase{"One", 1, 1},
    CompletionCase{"OnePage", 20, 20},
    CompletionCase{"OneMoreThanAPage", 21, 21},
    CompletionCase{"AtTheLimit", 5000, 5000},
    CompletionCase{"AboveTheLimit", 5001, 5000}),
    [](const auto& info) { return info.param.name; });

TEST(Download, FrameNumberedAboveTheCountDoesNotComplete)
{
    // The frame answers the first request; the instrument then falls silent.
    Linked session({.records = 3, .silentAfterRecords = 0});
    bool injected = false;
    session.window.onPump([&] {
        if (session.requestsSince(session.mark) == 1 && !std::exchange(injected, true))
            session.port.inject({0x00, 0x04, 0x06, 0x24, 0x01, 0x02, 0x03, 0x04});
    });
    session.controller.start();
    EXPECT_EQ(session.logLines(), std::vector<std::string>{"NO 00004: 2024-01-02 03:04   LOSS:0.06dB"});
    EXPECT_EQ(session.requestsSince(session.mark), 2) << "taken for the last record";
}

TEST(Download, FragmentIsNeverTakenForARecord)
{
    Linked session;
    session.port.inject({0x00, 0x01, 0x06, 0x24, 0x01, 0x02, 0x03});
    EXPECT_TRUE(session.logLines().empty());
    EXPECT_EQ(session.controller.state().recordArrived, 0);
}

TEST(Download, SaveErrorIsAnnouncedAndEndsTheReader)
{
    Linked session;
    const auto logPath = session.controller.log().path();
    session.window.onPump([&] {
        // The log's place turns into a folder after four records.
        if (session.port.instrument().recordsServed() == 4 && !std::filesystem::is_directory(logPath)) {
            std::filesystem::remove(logPath);
            std::filesystem::create_directory(logPath);
        }
    });
    session.controller.start();

    EXPECT_EQ(session.window.messages(), std::vector<std::string>{"RECORD SAVE ERROR !!"});
    EXPECT_NE(session.window.messageDetails()[0].find(logPath.string()), std::string::npos);
    EXPECT_EQ(session.pageLines().back(), lineOf(5)) << "the unsaved record is still shown";
    EXPECT_EQ(session.controller.state().recordArrived, 0);
    EXPECT_FALSE(session.port.isOpen());
    EXPECT_EQ(session.requestsSince(session.mark), 5);
    EXPECT_EQ(session.lowerButtons(), buttons(true, false, false, false));
}

struct FailureCase {
    const char* name;
    sim::Behaviour behaviour;
    bool readAll;
    const char* message;
    std::size_t logged;
};

class ReaderFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(ReaderFailure, EndsTheReaderWithOneMessageAndAClosedPort)
{
    const auto& c = GetParam();
    Linked session(c.behaviour);
    const auto started = session.clock.now();
    c.readAll ? session.controller.readAll() : session.controller.start();

    EXPECT_EQ(session.window.messages(), std::vector<std::string>{c.message});
    // Every message about the line names the port, in its text or its detail.
    EXPECT_NE((c.message + session.window.messageDetails().at(0)).find("/dev/ttySIM0"), std::string::npos);
    EXPECT_EQ(session.window.progress(), std::make_pair(static_cast<int>(c.logged), 57));
    EXPECT_EQ(session.window.statusText(), "Communication error ! Please check the cable !");
    EXPECT_EQ(session.lowerButtons(), buttons(false, false, false, false));
    EXPECT_FALSE(session.port.isOpen());
    EXPECT_EQ(session.logLines(), linesOf(1, static_cast<int>(c.logged)));
    EXPECT_LT(session.clock.now() - started, 10s);
}

INSTANTIATE_TEST_SUITE_P(Instruments, ReaderFailure, testing::Values(
    FailureCase{"SilentDuringStart", {.silentAfterRecords = 3}, false,
                "Device not responding ! Please check the cable !", 3},
    FailureCase{"SilentDuringReadAll", {.silentAfterRecords = 25}, true,
                "Device not responding ! Please check the cable !", 25},
    FailureCase{"ShortFrameThenSilence", {.shortFrameAfterRecords = 2}, true,
                "Device not responding ! Please check the cable !", 2},
    FailureCase{"HangUpDuringReadAll", {.hangUpAfterRecords = 5}, true,
                "The connection to /dev/ttySIM0 was lost.", 5}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace splicerec::test
