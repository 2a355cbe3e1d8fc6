#include <gtest/gtest.h>

#include "report/log_parser.h"

namespace splicerec::report {
namespace {

struct GoodLine {
    const char* line;
    int number, year, month, day, hour, minute;  // the bytes, written here in hexadecimal
    int loss;                                    // hundredths
    bool validDate;
};

void PrintTo(const GoodLine& c, std::ostream* os) { *os << '"' << c.line << '"'; }

class RecordLineParse : public testing::TestWithParam<GoodLine> {};

TEST_P(RecordLineParse, GivesTheRecordItWasWrittenFrom)
{
    const GoodLine& c = GetParam();
    const auto r = parseRecordLine(c.line);
    ASSERT_TRUE(r) << c.line;
    EXPECT_EQ(r->number, c.number);
    EXPECT_EQ(r->year, c.year);
    EXPECT_EQ(r->month, c.month);
    EXPECT_EQ(r->day, c.day);
    EXPECT_EQ(r->hour, c.hour);
    EXPECT_EQ(r->minute, c.minute);
    EXPECT_EQ(r->lossHundredths, c.loss);
    EXPECT_EQ(r->validDate, c.validDate);
}

INSTANTIATE_TEST_SUITE_P(Lines, RecordLineParse, testing::Values(
    GoodLine{"NO 00001: 2002-12-19 15:27   LOSS:0.06dB", 1, 0x02, 0x12, 0x19, 0x15, 0x27, 6, true},
    GoodLine{"NO 00000: 2000-01-01 00:00   LOSS:0.00dB", 0, 0x00, 0x01, 0x01, 0x00, 0x00, 0, true},
    GoodLine{"NO 65535: 2099-12-31 23:59   LOSS:2.55dB", 65535, 0x99, 0x12, 0x31, 0x23, 0x59, 255, true},
    GoodLine{"NO 05000: 2024-06-30 08:05   LOSS:1.50dB", 5000, 0x24, 0x06, 0x30, 0x08, 0x05, 150, true},
    GoodLine{"NO 00300: 2007-03-04 05:06   LOSS:1.00dB", 300, 0x07, 0x03, 0x04, 0x05, 0x06, 100, true},
    // The older form: hundredths of 100 or more written in full after "0.".
    GoodLine{"NO 00300: 2007-03-04 05:06   LOSS:0.150dB", 300, 0x07, 0x03, 0x04, 0x05, 0x06, 150, true},
    GoodLine{"NO 00300: 2007-03-04 05:06   LOSS:0.100dB", 300, 0x07, 0x03, 0x04, 0x05, 0x06, 100, true},
    GoodLine{"NO 00300: 2007-03-04 05:06   LOSS:0.255dB", 300, 0x07, 0x03, 0x04, 0x05, 0x06, 255, true},
    GoodLine{"NO 00300: 2007-03-04 05:06   LOSS:0.99dB", 300, 0x07, 0x03, 0x04, 0x05, 0x06, 99, true},
    // Kept but flagged: not BCD, or BCD that is no real date or time.
    GoodLine{"NO 00002: 200A-3F-1B 00:0C   LOSS:0.10dB", 2, 0x0A, 0x3F, 0x1B, 0x00, 0x0C, 10, false},
    GoodLine{"NO 00002: 2002-13-01 10:00   LOSS:0.10dB", 2, 0x02, 0x13, 0x01, 0x10, 0x00, 10, false},
    GoodLine{"NO 00002: 2002-00-01 10:00   LOSS:0.10dB", 2, 0x02, 0x00, 0x01, 0x10, 0x00, 10, false},
    GoodLine{"NO 00002: 2002-04-31 10:00   LOSS:0.10dB", 2, 0x02, 0x04, 0x31, 0x10, 0x00, 10, false},
    GoodLine{"NO 00002: 2002-04-00 10:00   LOSS:0.10dB", 2, 0x02, 0x04, 0x00, 0x10, 0x00, 10, false},
    GoodLine{"NO 00002: 2003-02-29 10:00   LOSS:0.10dB", 2, 0x03, 0x02, 0x29, 0x10, 0x00, 10, false},
    GoodLine{"NO 00002: 2004-02-29 10:00   LOSS:0.10dB", 2, 0x04, 0x02, 0x29, 0x10, 0x00, 10, true},
    GoodLine{"NO 00002: 2000-02-29 10:00   LOSS:0.10dB", 2, 0x00, 0x02, 0x29, 0x10, 0x00, 10, true},
    GoodLine{"NO 00002: 2002-04-30 24:00   LOSS:0.10dB", 2, 0x02, 0x04, 0x30, 0x24, 0x00, 10, false},
    GoodLine{"NO 00002: 2002-04-30 23:60   LOSS:0.10dB", 2, 0x02, 0x04, 0x30, 0x23, 0x60, 10, false},
    GoodLine{"NO 00002: 2002-04-30 23:FF   LOSS:0.10dB", 2, 0x02, 0x04, 0x30, 0x23, 0xFF, 10, false}));

class NotARecordLine : public testing::TestWithParam<const char*> {};

TEST_P(NotARecordLine, IsRefused)
{
    EXPECT_FALSE(parseRecordLine(GetParam())) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Lines, NotARecordLine, testing::Values(
    "",
    "NO 00001: 2002-12-19 15:27   LOSS:0.06dB ",   // trailing blank
    " NO 00001: 2002-12-19 15:27   LOSS:0.06dB",
    "NO 0001: 2002-12-19 15:27   LOSS:0.06dB",     // four-digit number
    "NO 65536: 2002-12-19 15:27   LOSS:0.06dB",    // more than 16 bits
    "NO 0000A: 2002-12-19 15:27   LOSS:0.06dB",
    "NO 00001: 1902-12-19 15:27   LOSS:0.06dB",    // the century is always 20
    "NO 00001: 2002-12-19 15:27  LOSS:0.06dB",     // two blanks
    "NO 00001: 2002/12/19 15:27   LOSS:0.06dB",
    "NO 00001: 2002-12-19T15:27   LOSS:0.06dB",
    "NO 00001: 2002-0a-19 15:27   LOSS:0.06dB",    // the log writes capitals
    "NO 00001: 2002-G1-19 15:27   LOSS:0.06dB",
    "NO 00001: 2002-1-19 15:27   LOSS:0.06dB",
    "NO 00001: 2002-12-19 15:27   LOSS:0.6dB",
    "NO 00001: 2002-12-19 15:27   LOSS:.06dB",
    "NO 00001: 2002-12-19 15:27   LOSS:0,06dB",
    "NO 00001: 2002-12-19 15:27   LOSS:2.56dB",    // more than a byte of hundredths
    "NO 00001: 2002-12-19 15:27   LOSS:3.00dB",
    "NO 00001: 2002-12-19 15:27   LOSS:0.256dB",
    "NO 00001: 2002-12-19 15:27   LOSS:0.099dB",   // the older form padded to two digits only
    "NO 00001: 2002-12-19 15:27   LOSS:1.150dB",
    "NO 00001: 2002-12-19 15:27   LOSS:10.00dB",
    "NO 00001: 2002-12-19 15:27   LOSS:0.06db",
    "NO 00001: 2002-12-19 15:27   LOSS:0.06",
    "NO 00001: 2002-12-19 15:27   LOSS:0.06dB\r"));  // a stray CR inside a line

TEST(IsoDateTime, KeepsTheBytesAsTheLogShowedThem)
{
    EXPECT_EQ(isoDateTime(*parseRecordLine("NO 00001: 2002-12-19 15:27   LOSS:0.06dB")), "2002-12-19T15:27");
    EXPECT_EQ(isoDateTime(*parseRecordLine("NO 00001: 200A-3F-1B 00:0C   LOSS:0.06dB")), "200A-3F-1BT00:0C");
}

struct LogCase {
    const char* name;
    std::string content;
    bool stopAtBad;
    bool complete;
    std::vector<std::uint32_t> recordLines;  // line numbers of the records read
    std::vector<std::uint32_t> badLines;
};

const std::string kA = "NO 00001: 2002-12-19 15:27   LOSS:0.06dB";
const std::string kB = "NO 00002: 2002-12-19 15:31   LOSS:0.150dB";

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

class LogParse : public testing::TestWithParam<LogCase> {};

TEST_P(LogParse, FindsEveryRecordAndBadLine)
{
    const LogCase& c = GetParam();
    ParsedLogs logs;
    ASSERT_TRUE(parseLog(kA, "first.log", true, logs));  // a second log's records name their own file
    EXPECT_EQ(parseLog(c.content, "x.log", c.stopAtBad, logs), c.complete);
    ASSERT_EQ(logs.files.size(), 2u);
    std::vector<std::uint32_t> lines, bad;
    for (const auto& r : logs.records)
        if (r.file == 1)
            lines.push_back(r.line);
    EXPECT_EQ(logs.records.size(), lines.size() + 1);
    for (const auto& b : logs.badLines)
        if (b.file == 1)
            bad.push_back(b.line);
    EXPECT_EQ(lines, c.recordLines);
    EXPECT_EQ(bad, c.badLines);
}

INSTANTIATE_TEST_SUITE_P(Logs, LogParse, testing::Values(
    LogCase{"crlf", kA + "\r\n" + kB + "\r\n", true, true, {1, 2}, {}},
    LogCase{"lf", kA + "\n" + kB + "\n", true, true, {1, 2}, {}},
    LogCase{"mixed", kA + "\n" + kB + "\r\n" + kA + "\r\n", true, true, {1, 2, 3}, {}},
    LogCase{"lastUnterminated", kA + "\r\n" + kB, true, true, {1, 2}, {}},
    LogCase{"empty", "", true, true, {}, {}},
    LogCase{"blankLineStops", kA + "\r\n\r\n" + kB + "\r\n", true, false, {1}, {2}},
    LogCase{"blankLineSkipped", kA + "\r\n\r\n" + kB + "\r\n", false, true, {1, 3}, {2}},
    LogCase{"strayCr", kA + "\r\r\n" + kB, true, false, {}, {1}},
    LogCase{"skipsAll", "junk\n" + kA + "\nmore junk\n" + kB + "\n\n", false, true, {2, 4}, {1, 3, 5}}),
    [](const testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

TEST(PrintableLine, EscapesControlBytesAndCutsLongLines)
{
    EXPECT_EQ(printableLine("a\tb\x7F\xC3\xA9"), "a\\x09b\\x7F\\xC3\\xA9");
    EXPECT_EQ(printableLine(std::string(150, 'x')), std::string(100, 'x') + "...");
}

}  // namespace
}  // namespace splicerec::report
