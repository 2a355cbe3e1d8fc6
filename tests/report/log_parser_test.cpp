#include <gtest/gtest.h>

#include "report/log_parser.h"

namespace splicerec::report {
namespace {

struct GoodLine {
    const char* line;
    int number;
    const char* when;  // the date and time bytes as the log wrote them
    int loss;          // hundredths
    bool validDate;
};

void PrintTo(const GoodLine& c, std::ostream* os) { *os << '"' << c.line << '"'; }

class RecordLine : public testing::TestWithParam<GoodLine> {};

TEST_P(RecordLine, givesTheRecordItWasWrittenFrom)
{
    const GoodLine& c = GetParam();
    const auto r = parseRecordLine(c.line);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->number, c.number);
    EXPECT_EQ(isoDateTime(*r), c.when);
    EXPECT_EQ(r->lossHundredths, c.loss);
    EXPECT_EQ(r->validDate, c.validDate);
}

INSTANTIATE_TEST_SUITE_P(Lines, RecordLine, testing::Values(
    GoodLine{"NO 00001: 2002-12-19 15:27   LOSS:0.06dB", 1, "2002-12-19T15:27", 6, true},
    GoodLine{"NO 65535: 2099-12-31 23:59   LOSS:2.55dB", 65535, "2099-12-31T23:59", 255, true},
    // The older form: hundredths of 100 or more written in full after "0.", here at its lowest.
    GoodLine{"NO 00300: 2007-03-04 05:06   LOSS:0.100dB", 300, "2007-03-04T05:06", 100, true},
    // Kept but flagged: not BCD, or BCD that is no real date or time.
    GoodLine{"NO 00002: 200A-3F-1B 00:0C   LOSS:0.10dB", 2, "200A-3F-1BT00:0C", 10, false},
    GoodLine{"NO 00002: 2002-00-01 10:00   LOSS:0.10dB", 2, "2002-00-01T10:00", 10, false},
    GoodLine{"NO 00002: 2002-04-31 10:00   LOSS:0.10dB", 2, "2002-04-31T10:00", 10, false},
    GoodLine{"NO 00002: 2002-04-00 10:00   LOSS:0.10dB", 2, "2002-04-00T10:00", 10, false},
    GoodLine{"NO 00002: 2003-02-29 10:00   LOSS:0.10dB", 2, "2003-02-29T10:00", 10, false},
    GoodLine{"NO 00002: 2004-02-29 10:00   LOSS:0.10dB", 2, "2004-02-29T10:00", 10, true},
    GoodLine{"NO 00002: 2000-02-29 10:00   LOSS:0.10dB", 2, "2000-02-29T10:00", 10, true},
    GoodLine{"NO 00002: 2002-04-30 24:00   LOSS:0.10dB", 2, "2002-04-30T24:00", 10, false},
    GoodLine{"NO 00002: 2002-04-30 23:60   LOSS:0.10dB", 2, "2002-04-30T23:60", 10, false}));

TEST(RecordLine, refusesEveryOtherLine)
{
    for (const char* line : {
             "NO 00001: 2002-12-19 15:27   LOSS:0.06dB ",  // trailing blank
             " NO 00001: 2002-12-19 15:27   LOSS:0.06dB",
             "NO 65536: 2002-12-19 15:27   LOSS:0.06dB",   // more than 16 bits
             "NO 0000A: 2002-12-19 15:27   LOSS:0.06dB",
             "NO 00001: 1902-12-19 15:27   LOSS:0.06dB",   // the century is always 20
             "NO 00001: 2002-12-19 15:27  LOSS:0.06dB",    // two blanks
             "NO 00001: 2002/12/19 15:27   LOSS:0.06dB",
             "NO 00001: 2002-12-19T15:27   LOSS:0.06dB",
             "NO 00001: 2002-0a-19 15:27   LOSS:0.06dB",   // the log writes capitals
             "NO 00001: 2002-12-19 15:27   LOSS:0.6dB",
             "NO 00001: 2002-12-19 15:27   LOSS:0,06dB",
             "NO 00001: 2002-12-19 15:27   LOSS:2.56dB",   // more than a byte of hundredths
             "NO 00001: 2002-12-19 15:27   LOSS:0.099dB",  // the older form padded to two digits only
             "NO 00001: 2002-12-19 15:27   LOSS:1.150dB",
         })
        EXPECT_FALSE(parseRecordLine(line)) << line;
}

struct LogCase {
    const char* name;
    std::string content;
    bool stopAtBad;
    bool complete;
    const char* records;
    const char* badLines;
};

const std::string kA = "NO 00001: 2002-12-19 15:27   LOSS:0.06dB";
const std::string kB = "NO 00002: 2002-12-19 15:31   LOSS:0.150dB";

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

class LogParse : public testing::TestWithParam<LogCase> {};

// Where the records and the bad lines came from, as "file:line ...".
std::string places(const auto& lines)
{
    std::string text;
    for (const auto& l : lines)
        text += (text.empty() ? "" : " ") + std::to_string(l.file) + ":" + std::to_string(l.line);
    return text;
}

TEST_P(LogParse, findsEveryRecordAndBadLine)
{
    const LogCase& c = GetParam();
    ParsedLogs logs;
    ASSERT_TRUE(parseLog(kA, "first.log", true, logs));  // a second log's records name their own file
    EXPECT_EQ(parseLog(c.content, "x.log", c.stopAtBad, logs), c.complete);
    EXPECT_EQ(places(logs.records), c.records);
    EXPECT_EQ(places(logs.badLines), c.badLines);
}

INSTANTIATE_TEST_SUITE_P(Logs, LogParse, testing::Values(
    LogCase{"mixedLineEndsLastUnterminated", kA + "\n" + kB + "\r\n" + kA, true, true, "0:1 1:1 1:2 1:3", ""},
    LogCase{"blankLineStops", kA + "\r\n\r\n" + kB + "\r\n", true, false, "0:1 1:1", "1:2"},
    LogCase{"strayCr", kA + "\r\r\n" + kB, true, false, "0:1", "1:1"},
    LogCase{"skipsAll", "junk\n" + kA + "\nmore junk\n" + kB + "\r\n\r\n", false, true, "0:1 1:2 1:4", "1:1 1:3 1:5"}),
    [](const testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

TEST(PrintableLine, escapesControlBytesAndCutsLongLines)
{
    EXPECT_EQ(printableLine("a\tb\x7F\xC3\xA9"), "a\\x09b\\x7F\\xC3\\xA9");
    EXPECT_EQ(printableLine(std::string(150, 'x')), std::string(100, 'x') + "...");
}

}  // namespace
}  // namespace splicerec::report
