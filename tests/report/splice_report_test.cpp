#include <gtest/gtest.h>

#include "report/splice_report.h"
#include "report/text_output.h"

namespace splicerec::report {
namespace {

SpliceReport reportOf(const std::vector<std::string>& lines, double limit = 0.10)
{
    std::string content;
    for (const auto& line : lines)
        content += line + "\r\n";
    ParsedLogs logs;
    EXPECT_TRUE(parseLog(content, "t.log", true, logs));
    return buildReport(std::move(logs), limit);
}

std::string line(int number, const char* when, const char* loss)
{
    char text[64];
    std::snprintf(text, sizeof text, "NO %05d: %s   LOSS:%sdB", number, when, loss);
    return text;
}

TEST(Duplicates, CollapseOnlyWhenNumberDateAndLossAgree)
{
    const auto r = reportOf({
        line(1, "2002-12-19 15:27", "0.06"),
        line(2, "2002-12-19 15:31", "0.150"),
        line(1, "2002-12-19 15:27", "0.06"),   // downloaded again
        line(2, "2002-12-19 15:31", "1.50"),   // the same record in the newer loss form
        line(1, "2002-12-19 15:27", "0.06"),
        line(3, "2002-12-19 15:40", "0.05"),
        line(3, "2002-12-19 15:40", "0.07"),   // same number and time, other loss
        line(1, "2003-01-04 09:12", "0.06"),   // same number and loss, other date: memory cleared
    });
    ASSERT_EQ(r.splices.size(), 5u);
    EXPECT_EQ(r.linesRead, 8u);
    EXPECT_EQ(r.duplicatesDropped, 3u);
    EXPECT_EQ(r.reusedNumbers, 2u);  // 1 and 3

    const int numbers[] = {1, 2, 3, 3, 1};
    const unsigned copies[] = {3, 2, 1, 1, 1};
    const bool reused[] = {true, false, true, true, true};
    const unsigned firstLine[] = {1, 2, 6, 7, 8};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.splices[i].record.number, numbers[i]);
        EXPECT_EQ(r.splices[i].copies, copies[i]);
        EXPECT_EQ(r.splices[i].numberReused, reused[i]);
        EXPECT_EQ(r.splices[i].record.line, firstLine[i]);
    }
    EXPECT_EQ(flagsText(r.splices[0]), "number_reused");
    EXPECT_EQ(flagsText(r.splices[1]), "");
}

TEST(Flags, InvalidDateAndReusedNumberCombine)
{
    const auto r = reportOf({line(7, "2002-13-01 10:00", "0.01"), line(7, "2002-12-01 10:00", "0.01")});
    EXPECT_EQ(flagsText(r.splices[0]), "invalid_date;number_reused");
    EXPECT_EQ(flagsText(r.splices[1]), "number_reused");
}

struct LimitCase {
    const char* loss;
    double limit;
    bool above;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.loss << " against " << c.limit; }

class Limit : public testing::TestWithParam<LimitCase> {};

TEST_P(Limit, OnlyALossBeyondTheLimitIsAbove)
{
    const auto r = reportOf({line(1, "2002-12-19 15:27", GetParam().loss)}, GetParam().limit);
    EXPECT_EQ(r.splices[0].aboveLimit, GetParam().above);
    EXPECT_EQ(r.statistics.aboveLimit, GetParam().above ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Losses, Limit, testing::Values(
    LimitCase{"0.10", 0.10, false}, LimitCase{"0.11", 0.10, true}, LimitCase{"0.09", 0.10, false},
    LimitCase{"0.29", 0.29, false}, LimitCase{"0.30", 0.29, true}, LimitCase{"0.57", 0.57, false},
    LimitCase{"0.00", 0.0, false}, LimitCase{"0.01", 0.0, true}, LimitCase{"0.150", 1.49, true},
    LimitCase{"0.150", 1.50, false}, LimitCase{"2.55", 5.0, false}, LimitCase{"0.11", 0.105, true}));

TEST(Statistics, OverTheSplicesNotTheLines)
{
    // Unique losses 0.02 0.04 0.05 0.07 0.11 0.150 (1.50): sum 1.79, median (0.05 + 0.07) / 2.
    const auto r = reportOf({
        line(1, "2002-12-19 15:27", "0.05"), line(2, "2002-12-19 15:28", "0.02"),
        line(3, "2002-12-19 15:29", "0.150"), line(3, "2002-12-19 15:29", "0.150"),
        line(4, "2002-12-19 15:30", "0.07"), line(5, "2002-12-19 15:31", "0.11"),
        line(6, "2002-12-19 15:32", "0.04"), line(6, "2002-12-19 15:32", "0.04"),
    });
    const Statistics& s = r.statistics;
    EXPECT_EQ(s.count, 6u);
    EXPECT_NEAR(s.meanDb, 1.79 / 6, 1e-9);
    EXPECT_NEAR(s.medianDb, 0.06, 1e-9);
    EXPECT_NEAR(s.maxDb, 1.50, 1e-9);
    EXPECT_EQ(s.aboveLimit, 2u);
    EXPECT_NEAR(s.aboveShare, 2.0 / 6, 1e-9);

    const auto odd = reportOf({line(1, "2002-12-19 15:27", "0.09"), line(2, "2002-12-19 15:28", "0.01"),
                               line(3, "2002-12-19 15:29", "0.03")});
    EXPECT_NEAR(odd.statistics.medianDb, 0.03, 1e-9);
}

TEST(DateRange, CoversValidDatesOnly)
{
    const auto r = reportOf({line(1, "2003-01-04 09:12", "0.01"), line(2, "2099-1A-01 00:00", "0.01"),
                             line(3, "2002-12-19 15:27", "0.01"), line(4, "2002-12-19 15:26", "0.01")});
    EXPECT_EQ(r.firstDateTime, "2002-12-19T15:26");
    EXPECT_EQ(r.lastDateTime, "2003-01-04T09:12");
    EXPECT_FALSE(reportOf({line(2, "2099-1A-01 00:00", "0.01")}).firstDateTime);
}

TEST(Histogram, CountsEverySpliceOnceOnItsSideOfTheLimit)
{
    // Losses 0.00 0.03 0.03 0.10 0.11 0.28 with bins of a hundredth up to 0.28.
    const auto r = reportOf({line(1, "2002-12-19 15:27", "0.00"), line(2, "2002-12-19 15:27", "0.03"),
                             line(3, "2002-12-19 15:27", "0.03"), line(4, "2002-12-19 15:27", "0.10"),
                             line(5, "2002-12-19 15:27", "0.11"), line(6, "2002-12-19 15:27", "0.28")});
    ASSERT_EQ(r.binHundredths, 1);
    ASSERT_EQ(r.histogramStart, 0);
    ASSERT_EQ(r.histogram.size(), 29u);
    for (std::size_t i = 0; i < r.histogram.size(); ++i) {
        const int within = i == 0 || i == 10 ? 1 : i == 3 ? 2 : 0;
        const int above = i == 11 || i == 28 ? 1 : 0;
        EXPECT_EQ(r.histogram[i].within, within) << i;
        EXPECT_EQ(r.histogram[i].above, above) << i;
    }
    // 2.55 dB is far beyond three times the limit: it goes to the overflow, the bars
    // cover 0.00 to 0.33 and break at the limit, so 0.10 and 0.11 do not share a bar.
    const auto wide = reportOf({line(1, "2002-12-19 15:27", "2.55"), line(2, "2002-12-19 15:27", "0.10"),
                                line(3, "2002-12-19 15:27", "0.11")});
    int total = 0;
    for (const auto& bin : wide.histogram) {
        total += bin.within + bin.above;
        EXPECT_FALSE(bin.within && bin.above);
    }
    EXPECT_EQ(total, 2);
    EXPECT_EQ(wide.histogramOverflow, 1u);
    EXPECT_EQ(wide.histogramTop, 33);
    EXPECT_GT(wide.binHundredths, 1);
    EXPECT_LE(wide.histogram.size(), 30u);
    EXPECT_EQ((11 - wide.histogramStart) % wide.binHundredths, 0);  // a bar starts at 0.11
}

TEST(Csv, QuotesOnlyWhatRfc4180Requires)
{
    EXPECT_EQ(csvField("plain;text"), "plain;text");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("two\r\nlines"), "\"two\r\nlines\"");
}

}  // namespace
}  // namespace splicerec::report
