#include <gtest/gtest.h>

#include <tuple>

#include "report/splice_report.h"
#include "report/text_output.h"

namespace splicerec::report {
namespace {

// A line "NO number: when   LOSS:lossdB", e.g. {1, "2002-12-19 15:27", "0.06"}.
using Line = std::tuple<int, const char*, const char*>;

SpliceReport reportOf(const std::vector<Line>& lines, double limit = 0.10)
{
    std::string content;
    char text[64];
    for (const auto& [number, when, loss] : lines) {
        std::snprintf(text, sizeof text, "NO %05d: %s   LOSS:%sdB\r\n", number, when, loss);
        content += text;
    }
    ParsedLogs logs;
    EXPECT_TRUE(parseLog(content, "t.log", true, logs));
    return buildReport(std::move(logs), limit);
}

// Splices 1, 2, 3, ... with these losses.
SpliceReport lossesOf(std::initializer_list<const char*> losses, double limit = 0.10)
{
    std::vector<Line> lines;
    for (const char* loss : losses)
        lines.emplace_back(static_cast<int>(lines.size()) + 1, "2002-12-19 15:27", loss);
    return reportOf(lines, limit);
}

TEST(SpliceReport, collapsesRepeatedDownloadsAndCountsEachSpliceOnce)
{
    const auto r = reportOf({
        {1, "2002-12-19 15:27", "0.06"},
        {2, "2002-12-19 15:31", "0.150"},
        {1, "2002-12-19 15:27", "0.06"},  // downloaded again
        {2, "2002-12-19 15:31", "1.50"},  // the same record in the newer loss form
        {1, "2002-12-19 15:27", "0.06"},
        {3, "2002-13-19 15:40", "0.05"},
        {3, "2002-13-19 15:40", "0.07"},  // same number and time, other loss
        {1, "2002-12-18 15:27", "0.06"},  // same number and loss, other day: memory cleared
        {4, "2002-12-19 15:45", "0.11"},
    });
    ASSERT_EQ(r.splices.size(), 6u);
    // Each splice as "number copies first-line flags".
    const char* expected[] = {"1 3 1 number_reused", "2 2 2 ", "3 1 6 invalid_date;number_reused",
                              "3 1 7 invalid_date;number_reused", "1 1 8 number_reused", "4 1 9 "};
    for (std::size_t i = 0; i < 6; ++i) {
        const Splice& splice = r.splices[i];
        EXPECT_EQ(std::to_string(splice.record.number) + " " + std::to_string(splice.copies) + " " +
                      std::to_string(splice.record.line) + " " + flagsText(splice),
                  expected[i]);
    }
    // Losses 0.05 0.06 0.06 0.07 0.11 1.50: mean 1.85 / 6, median (0.06 + 0.07) / 2; dates valid
    // or not counted; numbers 1 and 3 reused.
    EXPECT_EQ(summaryText(r), "splices: 6 from 9 record lines (3 dropped as duplicates)\n"
                              "record numbers used by more than one record: 2\n"
                              "dates: 2002-12-18 15:27 to 2002-12-19 15:45\n"
                              "loss dB: mean 0.308, median 0.065, max 1.50\n"
                              "above 0.10 dB: 2 (33.3%)\n");
    EXPECT_NEAR(lossesOf({"0.09", "0.01", "0.03"}).statistics.medianDb, 0.03, 1e-9);
}

TEST(SpliceReport, marksOnlyALossBeyondTheLimit)
{
    const std::tuple<const char*, double, bool> cases[] = {
        {"0.10", 0.10, false}, {"0.11", 0.10, true},  {"0.29", 0.29, false}, {"0.00", 0.0, false},
        {"0.01", 0.0, true},   {"0.150", 1.49, true}, {"0.150", 1.50, false}, {"0.11", 0.105, true}};
    for (const auto& [loss, limit, above] : cases)
        EXPECT_EQ(lossesOf({loss}, limit).statistics.aboveLimit, above ? 1u : 0u) << loss << " against " << limit;
}

TEST(SpliceReport, histogramCountsEverySpliceOnceOnItsSideOfTheLimit)
{
    const auto r = lossesOf({"0.00", "0.03", "0.03", "0.10", "0.11", "0.28"});
    ASSERT_EQ(r.histogram.size(), 29u);  // bars of one hundredth from 0.00 to 0.28
    for (std::size_t i = 0; i < r.histogram.size(); ++i) {
        EXPECT_EQ(r.histogram[i].within, i == 0 || i == 10 ? 1 : i == 3 ? 2 : 0) << i;
        EXPECT_EQ(r.histogram[i].above, i == 11 || i == 28 ? 1 : 0) << i;
    }
    // 2.55 dB is far beyond three times the limit: it goes to the overflow, the bars of
    // two hundredths cover -0.01 to 0.34 and break at the limit: 0.10 and 0.11 do not share one.
    const auto wide = lossesOf({"2.55", "0.10", "0.11"});
    EXPECT_EQ(wide.histogramOverflow, 1u);
    EXPECT_EQ(wide.histogramTop, 33);
    EXPECT_EQ(wide.binHundredths, 2);
    EXPECT_EQ(wide.histogramStart, -1);
    EXPECT_EQ(wide.histogram[5].within, 1);
    EXPECT_EQ(wide.histogram[6].above, 1);
}

TEST(Csv, quotesOnlyWhatRfc4180Requires)
{
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("two\r\nlines"), "\"two\r\nlines\"");
}

}  // namespace
}  // namespace splicerec::report
