#include <gtest/gtest.h>

#include "support/session.h"

namespace splicerec::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kFailure = "Communication error ! Please check the cable !";

struct LinkCase {
    const char* name;
    sim::Behaviour behaviour;
    const char* status;   // final status line
    const char* written;  // every byte the program sent
    int dots;             // wrong replies announced after "Communicating..."
};

class LinkTestCases : public testing::TestWithParam<LinkCase> {};

TEST_P(LinkTestCases, EndsWithTheStatusAndButtonsOfItsOutcome)
{
    const auto& c = GetParam();
    Session session(c.behaviour);
    session.controller.comTest();

    EXPECT_EQ(session.window.statusText(), c.status);
    EXPECT_EQ(session.port.written(), c.written);
    const bool success = std::string(c.status).starts_with("Communication success !") && c.behaviour.records > 0;
    EXPECT_EQ(session.lowerButtons(), buttons(success, false, success, false));
    EXPECT_TRUE(session.window.messages().empty());
    EXPECT_TRUE(session.port.isOpen()) << "the link test leaves the port open";
    if (c.dots > 0) {
        const auto& history = session.window.statusHistory();
        EXPECT_NE(std::find(history.begin(), history.end(), "Communicating..." + std::string(c.dots, '.')),
                  history.end());
    }
}

sim::Behaviour withRecords(int records)
{
    sim::Behaviour behaviour;
    behaviour.records = records;
    return behaviour;
}

sim::Behaviour wrongTimes(int k)
{
    sim::Behaviour behaviour;
    behaviour.wrongIdentifications = k;
    return behaviour;
}

sim::Behaviour countLength(int length)
{
    sim::Behaviour behaviour;
    behaviour.countReplyLength = length;
    return behaviour;
}

sim::Behaviour slowPieces()
{
    sim::Behaviour behaviour;
    behaviour.records = 300;
    behaviour.pieces = 3;
    behaviour.pieceGap = 200ms;
    behaviour.replyDelay = 400ms;
    return behaviour;
}

INSTANTIATE_TEST_SUITE_P(Replies, LinkTestCases, testing::Values(
    LinkCase{"Healthy", withRecords(300), "Communication success !300 records in the device!", "sn", 0},
    LinkCase{"Empty", withRecords(0), "Communication success !0 records in the device!", "sn", 0},
    LinkCase{"OneWrongReply", wrongTimes(1), "Communication success !57 records in the device!", "san", 1},
    LinkCase{"TenWrongReplies", wrongTimes(10), "Communication success !57 records in the device!",
             "saaaaaaaaaan", 10},
    LinkCase{"ElevenWrongReplies", wrongTimes(11), kFailure, "saaaaaaaaaaa", 11},
    LinkCase{"Silent", sim::Behaviour{.silent = true}, kFailure, "s", 0},
    LinkCase{"EchoOnly", sim::Behaviour{.echo = true}, kFailure, "s", 0},
    LinkCase{"CountOfOneByte", countLength(1), kFailure, "sn", 0},
    LinkCase{"CountOfThreeBytes", countLength(3), kFailure, "sn", 0},
    LinkCase{"SplitAndLate", slowPieces(), "Communication success !300 records in the device!", "sn", 0}),
    [](const auto& info) { return info.param.name; });

TEST(LinkTest, SilenceFailsAfterTheDeadlineNotTheFirstPolls)
{
    Session session(sim::Behaviour{.silent = true});
    const auto started = session.clock.now();
    session.controller.comTest();
    const auto waited = session.clock.now() - started;
    EXPECT_GE(waited, 1500ms);
    EXPECT_LT(waited, 1600ms);
}

TEST(LinkTest, MissingCountGivesUpAfterTwoSeconds)
{
    Session session(countLength(0));
    const auto started = session.clock.now();
    session.controller.comTest();
    EXPECT_EQ(session.window.statusText(), kFailure);
    EXPECT_GE(session.clock.now() - started, 2000ms);
    EXPECT_LT(session.clock.now() - started, 2100ms);
}

TEST(LinkTest, RepeatsSucceedBecauseNoStaleIdentificationIsKept)
{
    Session session(withRecords(300));
    for (int run = 0; run < 3; ++run) {
        session.controller.comTest();
        EXPECT_EQ(session.window.statusText(), "Communication success !300 records in the device!") << run;
    }
    EXPECT_EQ(session.port.written(), "snsnsn");
    EXPECT_EQ(session.port.opens(), 1);
}

TEST(LinkTest, UnopenablePortIsExplainedAndCanBeRetried)
{
    Session session;
    session.port.openError = "Cannot open /dev/ttySIM0: permission denied.";
    session.controller.comTest();
    ASSERT_EQ(session.window.messages().size(), 1u);
    EXPECT_EQ(session.window.messages()[0], session.port.openError);
    EXPECT_EQ(session.window.statusText(), kFailure);
    EXPECT_EQ(session.lowerButtons(), buttons(false, false, false, false));

    session.port.openError.clear();
    session.controller.comTest();
    EXPECT_EQ(session.window.statusText(), "Communication success !57 records in the device!");
}

TEST(LinkTest, PressedWhileAReaderWaitsTakesOverTheLine)
{
    Session session(sim::Behaviour{.replyDelay = 5ms});
    session.controller.comTest();
    bool pressed = false, inside = false, injected = false;
    std::size_t sentByTheLinkTest = 0;
    session.window.onPump([&] {
        if (!pressed && session.port.instrument().recordsServed() == 3) {
            pressed = inside = true;
            session.controller.comTest();
            inside = false;
            sentByTheLinkTest = session.port.written().size();
        }
    });
    // A stray frame inside the nested test must not wake the superseded reader, nor be
    // logged: nobody asked for it.
    session.window.onPump([&] {
        if (inside && session.port.pendingInput() == 0 && !std::exchange(injected, true))
            session.port.inject({0x00, 0x09, 0x06, 0x24, 0x01, 0x02, 0x03, 0x04});
    });
    session.controller.start();

    ASSERT_TRUE(pressed);
    EXPECT_EQ(session.port.written().size(), sentByTheLinkTest) << "the old reader asked for more";
    EXPECT_EQ(session.window.statusText(), "Communication success !57 records in the device!");
    EXPECT_EQ(session.lowerButtons(), buttons(true, false, true, false));
    EXPECT_TRUE(session.window.messages().empty()) << session.window.messages()[0];
    // Two records were taken before the test took over; the one then in flight and the
    // stray frame were asked for by nobody still waiting.
    EXPECT_EQ(session.logLines().size(), 2u);
}

TEST(LinkTest, QuitDuringTheWaitEndsItAtOnce)
{
    Session session(sim::Behaviour{.silent = true});
    session.window.onPump([&] { session.window.quit = session.window.pumps() >= 10; });
    session.controller.comTest();
    EXPECT_LE(session.window.pumps(), 11);
    EXPECT_TRUE(session.window.messages().empty());
}

TEST(LinkTest, LostPortIsReportedOnce)
{
    Session session(sim::Behaviour{.silent = true});
    session.window.onPump([&] {
        if (session.window.pumps() == 5)
            session.port.fail("The connection to /dev/ttySIM0 was lost.");
    });
    session.controller.comTest();
    EXPECT_EQ(session.window.messages(), std::vector<std::string>{"The connection to /dev/ttySIM0 was lost."});
    EXPECT_EQ(session.window.statusText(), kFailure);
    EXPECT_FALSE(session.port.isOpen());
}

}  // namespace
}  // namespace splicerec::test
