// The PDF of the Linux build, read through poppler-utils (scripts/run-tests installs them).
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <algorithm>

#include "run_program.h"

namespace splicerec::report {
namespace {

using harness::runProgram;

const std::string kData = REPORT_TEST_DATA;
const std::string kSmall = kData + "/small.log";

harness::Outcome run(const std::vector<std::string>& arguments, const std::string& input = {})
{
    return runProgram(SPLICE_REPORT_BINARY, arguments, input);
}

QString pdfText(const std::string& pdf)
{
    return QString::fromStdString(runProgram("pdftotext", {"-layout", pdf, "-"}).out);
}

TEST(Pdf, andCsvFileShowTheTitleBlockStatisticsLimitAndEveryRecord)
{
    const std::string folder = harness::utf8Of(harness::scratchFolder());
    const std::string pdf = folder + "/small.pdf", csv = folder + "/small.csv";
    ASSERT_EQ(run({"--pdf", pdf, "--title", "Route 7 north", "--csv", csv, kSmall}).status, 3);
    EXPECT_EQ(harness::contents(csv), harness::contents(kData + "/small.csv"));
    const QString text = pdfText(pdf);
    EXPECT_EQ(text.count(QLatin1Char('\f')), 1);
    // Mean of 0.06 1.50 0.10 0.04 0.11 0.02 0.07 0.05 is 1.95 / 8; the median (0.06 + 0.07) / 2.
    for (const char* expected : {"Route 7 north", "small.log", "2002-12-19 15:27", "2003-01-04 09:12", "0.10 dB",
                                 "0.24", "0.065", "1.50", "25.0 %", "limit 0.10 dB", "invalid date", "number reused",
                                 "2003-01-04 09:3A", "page 1 of 1"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(expected))) << expected << "\n" << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("ABOVE")), 2);

    const std::string prefix = SPLICE_TEST_OUTPUT_DIR "/report-page";
    runProgram("pdftoppm", {"-png", "-r", "60", "-singlefile", pdf, prefix});
    const QImage page = QImage(QString::fromStdString(prefix + ".png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(page.isNull());
    EXPECT_NEAR(double(page.width()) / page.height(), 210.0 / 297.0, 0.01);  // A4 portrait
    const auto* pixels = reinterpret_cast<const QRgb*>(page.constBits());  // 32-bit rows have no padding
    const auto red = std::count_if(pixels, pixels + page.width() * page.height(),
                                   [](QRgb p) { return qRed(p) > 150 && qGreen(p) < 80 && qBlue(p) < 80; });
    EXPECT_GT(red, 100);  // the bars above the limit and the marked rows
}

TEST(Pdf, runsOverAsManyPagesAsTheRecordsNeed)
{
    // 2010-05-DD 12:MM is unique per record number up to 420.
    const auto when = [](int n) {
        return QStringLiteral("2010-05-%1 12:%2").arg(1 + n % 28, 2, 10, QLatin1Char('0')).arg(n % 60, 2, 10, QLatin1Char('0'));
    };
    std::string log;
    for (int n = 1; n <= 400; ++n)
        log += QStringLiteral("NO %1: %2   LOSS:0.05dB\r\n").arg(n, 5, 10, QLatin1Char('0')).arg(when(n)).toStdString();
    const std::string pdf = SPLICE_TEST_OUTPUT_DIR "/report-big.pdf";
    ASSERT_EQ(run({"--pdf", pdf, "-"}, log).status, 0);
    // A row is about 5 mm high and A4 has about 260 mm for rows: 400 rows take 7 to 10 pages.
    const QString text = pdfText(pdf);
    const auto n = text.count(QLatin1Char('\f'));
    EXPECT_TRUE(n >= 7 && n <= 10) << n;
    EXPECT_TRUE(text.contains(QStringLiteral("page 1 of %1").arg(n)));
    EXPECT_TRUE(text.contains(QStringLiteral("page %1 of %1").arg(n)));
    for (int r = 1; r <= 400; ++r)
        EXPECT_TRUE(text.contains(when(r))) << r;
    EXPECT_EQ(text.count(QStringLiteral("Loss (dB)")), n);  // the table's header on every page
}

// Qt takes its own options before splice-report reads the rest, as it always has.
TEST(Pdf, programLeavesQtItsOwnOptions)
{
    const harness::Outcome r = run({"-platform", "offscreen", "--max-loss=2", kSmall});
    EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
}  // namespace splicerec::report
