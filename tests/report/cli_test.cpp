// splice-report as a technician's script runs it: the real binary, its files, its exit status.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

const QString kData = QStringLiteral(REPORT_TEST_DATA);
const QString kSmall = kData + QStringLiteral("/small.log");
const QString kBad = kData + QStringLiteral("/bad.log");

struct Outcome {
    int status = -1;
    QByteArray out, err;
};

Outcome run(const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(QStringLiteral(SPLICE_REPORT_BINARY), arguments);
    EXPECT_TRUE(process.waitForStarted(30000));
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

struct StatusCase {
    const char* name;
    QStringList arguments;
    int status;
    const char* stderrHas;  // "" for nothing in particular
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class ExitStatus : public testing::TestWithParam<StatusCase> {};

TEST_P(ExitStatus, TellsAScriptWhatHappened)
{
    const Outcome r = run(GetParam().arguments);
    EXPECT_EQ(r.status, GetParam().status) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(GetParam().stderrHas)) << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Runs, ExitStatus, testing::Values(
    StatusCase{"aboveDefaultLimit", {kSmall}, 3, ""},
    StatusCase{"withinAtTheLimit", {QStringLiteral("--max-loss"), QStringLiteral("1.50"), kSmall}, 0, ""},
    StatusCase{"justAbove", {QStringLiteral("--max-loss=1.49"), kSmall}, 3, ""},
    StatusCase{"badLineStops", {kSmall, kBad}, 1, "/bad.log:3: not a record line: \"NO 0007: 2004-02-29 10:09   LOSS:0.05dB\"\n"},
    StatusCase{"badLinesSkipped", {QStringLiteral("--skip-bad"), kBad}, 3, ""},
    StatusCase{"missingLog", {kData + QStringLiteral("/absent.log")}, 1, "absent.log"},
    StatusCase{"unwritableCsv", {QStringLiteral("--csv"), kSmall + QStringLiteral("/x.csv"), kSmall}, 1, "x.csv"},
    StatusCase{"unwritablePdf", {QStringLiteral("--pdf"), kSmall + QStringLiteral("/x.pdf"), kSmall}, 1, "x.pdf"},
    StatusCase{"noLog", {}, 2, "log"},
    StatusCase{"unknownOption", {QStringLiteral("--loss"), kSmall}, 2, "loss"},
    StatusCase{"limitNotANumber", {QStringLiteral("--max-loss"), QStringLiteral("0,1"), kSmall}, 2, "0,1"},
    StatusCase{"negativeLimit", {QStringLiteral("--max-loss=-1"), kSmall}, 2, "-1"},
    StatusCase{"csvWithoutFile", {kSmall, QStringLiteral("--csv")}, 2, "csv"}),
    [](const testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

TEST(Csv, MatchesTheGoldenFileOnStandardOutputAndInAFile)
{
    const QByteArray golden = contents(kData + QStringLiteral("/small.csv"));
    const Outcome toStdout = run({QStringLiteral("--csv"), QStringLiteral("-"), kSmall});
    EXPECT_EQ(toStdout.out, golden);
    EXPECT_TRUE(toStdout.err.contains("splices: 8 from 12 record lines (4 dropped as duplicates)"))
        << toStdout.err.toStdString();

    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    const Outcome toFile = run({QStringLiteral("--csv"), csv, kSmall});
    EXPECT_EQ(contents(csv), golden);
    EXPECT_TRUE(toFile.out.contains("above 0.10 dB: 2 (25.0%)")) << toFile.out.toStdString();
}

TEST(Input, StandardInputAndSeveralLogsAreOneReport)
{
    const QByteArray line2 = "NO 00002: 2002-12-19 15:31   LOSS:1.50dB\n";  // already in small.log
    const Outcome r = run({QStringLiteral("--csv=-"), kSmall, QStringLiteral("-")}, line2 + "NO 00009: 2005-05-05 05:05   LOSS:0.03dB");
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.out.endsWith("\r\n9,2005-05-05T05:05,0.03,no,\r\n")) << r.out.toStdString();
    EXPECT_EQ(r.out.count("\r\n"), 10);  // header, the eight of small.log, the new one
}

TEST(SkippedLines, AreCountedAndListed)
{
    const Outcome r = run({QStringLiteral("--skip-bad"), kBad});
    EXPECT_TRUE(r.out.contains("lines skipped: 2")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("bad.log:3: \"NO 0007: 2004-02-29 10:09   LOSS:0.05dB\"")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("bad.log:5: \"\"")) << r.out.toStdString();
}

// The PDF as a reader sees it: its text through pdftotext, its pages through pdfinfo,
// its first page as an image through pdftoppm.
class Pdf : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"pdftotext", "pdfinfo", "pdftoppm"})
            ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                << tool << " is missing: scripts/run-tests installs poppler-utils";
    }

    static QString tool(const QString& name, const QStringList& arguments)
    {
        QProcess process;
        process.start(name, arguments);
        EXPECT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), 0) << name.toStdString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    static int pages(const QString& pdf)
    {
        const auto match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(tool(QStringLiteral("pdfinfo"), {pdf}));
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }

    QTemporaryDir dir_;
};

TEST_F(Pdf, ShowsTheTitleBlockStatisticsLimitAndEveryRecord)
{
    const QString pdf = dir_.filePath(QStringLiteral("small.pdf"));
    ASSERT_EQ(run({QStringLiteral("--pdf"), pdf, QStringLiteral("--title"), QStringLiteral("Route 7 north"), kSmall}).status, 3);
    EXPECT_EQ(pages(pdf), 1);
    const QString text = tool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    // Mean of 0.06 1.50 0.10 0.04 0.11 0.02 0.07 0.05 is 1.95 / 8; the median (0.06 + 0.07) / 2.
    for (const char* expected : {"Route 7 north", "small.log", "2002-12-19 15:27", "2003-01-04 09:12", "0.10 dB",
                                 "0.24", "0.065", "1.50", "25.0 %", "limit 0.10 dB", "invalid date", "number reused",
                                 "2003-01-04 09:3A", "page 1 of 1"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(expected))) << expected << "\n" << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("ABOVE")), 2);

    const QString prefix = QStringLiteral(SPLICE_TEST_OUTPUT_DIR) + QStringLiteral("/report-page");
    tool(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                                      QStringLiteral("-singlefile"), pdf, prefix});
    QImage page(prefix + QStringLiteral(".png"));
    ASSERT_FALSE(page.isNull());
    EXPECT_NEAR(double(page.width()) / page.height(), 210.0 / 297.0, 0.01);  // A4 portrait
    int red = 0, dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            red += c.red() > 150 && c.green() < 80 && c.blue() < 80;
            dark += c.lightness() < 100;
        }
    EXPECT_GT(red, 100);   // the bars above the limit and the marked rows
    EXPECT_GT(dark, 2000); // text drawn with a real font, not empty boxes
}

TEST_F(Pdf, RunsOverAsManyPagesAsTheRecordsNeed)
{
    QByteArray log;
    for (int n = 1; n <= 400; ++n)
        log += QStringLiteral("NO %1: 2010-05-%2 12:%3   LOSS:0.%4dB\r\n")
                   .arg(n, 5, 10, QLatin1Char('0'))
                   .arg(1 + n % 28, 2, 10, QLatin1Char('0'))
                   .arg(n % 60, 2, 10, QLatin1Char('0'))
                   .arg(n % 13, 2, 10, QLatin1Char('0'))
                   .toLatin1();
    const QString logPath = dir_.filePath(QStringLiteral("big.log")), pdf = dir_.filePath(QStringLiteral("big.pdf"));
    QFile file(logPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(log);
    file.close();
    ASSERT_EQ(run({QStringLiteral("--pdf"), pdf, logPath}).status, 3);
    // A row is about 5 mm high and A4 has about 260 mm for rows: 400 rows take 7 to 10 pages.
    const int n = pages(pdf);
    EXPECT_GE(n, 7);
    EXPECT_LE(n, 10);
    const QString text = tool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    EXPECT_TRUE(text.contains(QStringLiteral("page %1 of %1").arg(n)));
    // Every record has its row: 2010-05-DD 12:MM is unique per number here.
    for (int r : {1, 57, 58, 200, 399, 400})
        EXPECT_TRUE(text.contains(QStringLiteral("2010-05-%1 12:%2").arg(1 + r % 28, 2, 10, QLatin1Char('0')).arg(r % 60, 2, 10, QLatin1Char('0'))))
            << r;
    EXPECT_EQ(text.count(QStringLiteral("Loss (dB)")), n);  // the table's header on every page
}

}  // namespace
