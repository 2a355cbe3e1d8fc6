// splice-report as a script runs it: the real binary, its files, its exit status; the PDF read
// through poppler-utils (scripts/run-tests installs them).
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>

namespace {

using namespace Qt::StringLiterals;

const QString kData = QStringLiteral(REPORT_TEST_DATA);
const QString kSmall = kData + u"/small.log"_s;
const QString kBad = kData + u"/bad.log"_s;

struct Outcome {
    int status = -1;
    QByteArray out, err;
};

Outcome run(const QStringList& arguments, const QByteArray& input = {}, const QString& program = SPLICE_REPORT_BINARY)
{
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForStarted(30000)) << program.toStdString() << " does not start";
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "cannot read " + path.toUtf8();
}

struct StatusCase {
    const char* name;
    QStringList arguments;
    int status;
    QByteArray printed;  // on standard output or error; empty for nothing in particular
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class ExitStatus : public testing::TestWithParam<StatusCase> {};

TEST_P(ExitStatus, tellsAScriptWhatHappened)
{
    const Outcome r = run(GetParam().arguments);
    EXPECT_EQ(r.status, GetParam().status) << r.err.toStdString();
    EXPECT_TRUE((r.out + r.err).contains(GetParam().printed)) << r.out.toStdString() << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Runs, ExitStatus, testing::Values(
    StatusCase{"withinAtTheLimit", {u"--max-loss"_s, u"1.50"_s, kSmall}, 0, {}},
    StatusCase{"badLineStops", {kSmall, kBad}, 1, "/bad.log:3: not a record line: \"NO 0007: 2004-02-29 10:09   LOSS:0.05dB\"\n"},
    StatusCase{"badLinesSkipped", {u"--skip-bad"_s, kBad}, 3,
               "lines skipped: 2\n  " + kBad.toUtf8() + ":3: \"NO 0007: 2004-02-29 10:09   LOSS:0.05dB\"\n  " + kBad.toUtf8() + ":5: \"\"\n"},
    StatusCase{"missingLog", {kData + u"/absent.log"_s}, 1, "absent.log"},
    StatusCase{"unwritableCsv", {u"--csv"_s, kSmall + u"/x.csv"_s, kSmall}, 1, "x.csv"},
    StatusCase{"unwritablePdf", {u"--pdf"_s, kSmall + u"/x.pdf"_s, kSmall}, 1, "x.pdf"},
    StatusCase{"noLog", {}, 2, "log"},
    StatusCase{"unknownOption", {u"--loss"_s, kSmall}, 2, "loss"},
    StatusCase{"limitNotANumber", {u"--max-loss=0,1"_s, kSmall}, 2, "0,1"},
    StatusCase{"negativeLimit", {u"--max-loss=-1"_s, kSmall}, 2, "-1"}),
    [](const testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

TEST(Csv, takesStandardInputAndSeveralLogsAsOneReport)
{
    // Record 2 is already in small.log.
    const QByteArray input = "NO 00002: 2002-12-19 15:31   LOSS:1.50dB\nNO 00009: 2005-05-05 05:05   LOSS:0.03dB";
    const Outcome r = run({u"--csv=-"_s, kSmall, u"-"_s}, input);
    EXPECT_EQ(r.out, contents(kData + u"/small.csv"_s) + "9,2005-05-05T05:05,0.03,no,\r\n");
    EXPECT_TRUE(r.err.contains("splices: 9 from 14 record lines (5 dropped as duplicates)")) << r.err.toStdString();
}

QString pdfText(const QString& pdf)
{
    return QString::fromUtf8(run({u"-layout"_s, pdf, u"-"_s}, {}, u"pdftotext"_s).out);
}

TEST(Pdf, andCsvFileShowTheTitleBlockStatisticsLimitAndEveryRecord)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"small.pdf"_s), csv = dir.filePath(u"small.csv"_s);
    ASSERT_EQ(run({u"--pdf"_s, pdf, u"--title"_s, u"Route 7 north"_s, u"--csv"_s, csv, kSmall}).status, 3);
    EXPECT_EQ(contents(csv), contents(kData + u"/small.csv"_s));
    const QString text = pdfText(pdf);
    EXPECT_EQ(text.count(QLatin1Char('\f')), 1);
    // Mean of 0.06 1.50 0.10 0.04 0.11 0.02 0.07 0.05 is 1.95 / 8; the median (0.06 + 0.07) / 2.
    for (const char* expected : {"Route 7 north", "small.log", "2002-12-19 15:27", "2003-01-04 09:12", "0.10 dB",
                                 "0.24", "0.065", "1.50", "25.0 %", "limit 0.10 dB", "invalid date", "number reused",
                                 "2003-01-04 09:3A", "page 1 of 1"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(expected))) << expected << "\n" << text.toStdString();
    EXPECT_EQ(text.count(u"ABOVE"_s), 2);

    const QString prefix = QStringLiteral(SPLICE_TEST_OUTPUT_DIR) + u"/report-page"_s;
    run({u"-png"_s, u"-r"_s, u"60"_s, u"-singlefile"_s, pdf, prefix}, {}, u"pdftoppm"_s);
    const QImage page = QImage(prefix + u".png"_s).convertToFormat(QImage::Format_RGB32);
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
        return u"2010-05-%1 12:%2"_s.arg(1 + n % 28, 2, 10, QLatin1Char('0')).arg(n % 60, 2, 10, QLatin1Char('0'));
    };
    QByteArray log;
    for (int n = 1; n <= 400; ++n)
        log += u"NO %1: %2   LOSS:0.05dB\r\n"_s.arg(n, 5, 10, QLatin1Char('0')).arg(when(n)).toLatin1();
    const QString pdf = QStringLiteral(SPLICE_TEST_OUTPUT_DIR) + u"/report-big.pdf"_s;
    ASSERT_EQ(run({u"--pdf"_s, pdf, u"-"_s}, log).status, 0);
    // A row is about 5 mm high and A4 has about 260 mm for rows: 400 rows take 7 to 10 pages.
    const QString text = pdfText(pdf);
    const auto n = text.count(QLatin1Char('\f'));
    EXPECT_TRUE(n >= 7 && n <= 10) << n;
    EXPECT_TRUE(text.contains(u"page 1 of %1"_s.arg(n)));
    EXPECT_TRUE(text.contains(u"page %1 of %1"_s.arg(n)));
    for (int r = 1; r <= 400; ++r)
        EXPECT_TRUE(text.contains(when(r))) << r;
    EXPECT_EQ(text.count(u"Loss (dB)"_s), n);  // the table's header on every page
}

}  // namespace
