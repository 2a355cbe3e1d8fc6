// splice-report's command line, in-process and as a script runs the real program: exit
// statuses, messages, the CSV, and names in any script. The expected messages are the
// ones the Qt build printed.
#include <gtest/gtest.h>

#include "report/report_cli.h"
#include "run_program.h"

namespace splicerec::report {
namespace {

using harness::Outcome;
using harness::runProgram;

const std::string kData = REPORT_TEST_DATA;
const std::string kSmall = kData + "/small.log";
const std::string kBad = kData + "/bad.log";
const std::string kNoPdf =
    "PDF output is not available in the Windows build; --csv FILE writes the splices for a spreadsheet instead";

Outcome run(const std::vector<std::string>& arguments, const std::string& input = {})
{
    return runProgram(SPLICE_REPORT_BINARY, arguments, input);
}

struct ParseCase {
    const char* name;
    std::vector<std::string> arguments;  // after the program name
    std::string fault;                   // the usage error, empty for none
    std::vector<std::string> logs = {};
    std::optional<std::string> csv = {};
    double maxLoss = 0.10;
    bool pdfAvailable = true;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class Arguments : public testing::TestWithParam<ParseCase> {};

TEST_P(Arguments, areReadAsTheQtBuildReadThem)
{
    const ParseCase& c = GetParam();
    std::vector<std::string> arguments{"splice-report"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const ReportRequest r = parseReportArguments(arguments, c.pdfAvailable);
    EXPECT_EQ(r.usageError, c.fault);
    if (!c.fault.empty())
        return;
    EXPECT_EQ(r.logs, c.logs);
    EXPECT_EQ(r.csvPath, c.csv);
    EXPECT_DOUBLE_EQ(r.maxLossDb, c.maxLoss);
}

std::string limitFault(const std::string& text) { return "--max-loss wants a loss in dB such as 0.10, not \"" + text + "\""; }

INSTANTIATE_TEST_SUITE_P(Read, Arguments, testing::Values(
    ParseCase{"valueAfterEqualsOrAsTheNextArgument", {"--csv=a.csv", "--max-loss", "0.2", "x.log"}, "", {"x.log"}, "a.csv", 0.2},
    ParseCase{"theLastValueCounts", {"--csv", "a", "x", "--csv", "b"}, "", {"x"}, "b"},
    ParseCase{"aValueMayLookLikeAnOption", {"--csv", "--skip-bad", "x"}, "", {"x"}, "--skip-bad"},
    ParseCase{"doubleDashEndsTheOptions", {"--", "--csv", "-v", "-"}, "", {"--csv", "-v", "-"}},
    ParseCase{"dashAndEmptyAreLogs", {"-", ""}, "", {"-", ""}},
    ParseCase{"csvToStandardOutput", {"x", "--csv", "-"}, "", {"x"}, "-"},
    ParseCase{"unknownLongOption", {"--loss", "x"}, "Unknown option 'loss'."},
    ParseCase{"everyUnknownLetterNamed", {"-csv", "x"}, "Unknown options: c, s."},
    ParseCase{"aLetterIsACharacterNotAByte", {"-\xC3\xA9"}, "Unknown option '\xC3\xA9'."},
    ParseCase{"tripleDash", {"---x"}, "Unknown option '-x'."},
    ParseCase{"equalsAfterAnUnknownLetterIsALetter", {"-x=1"}, "Unknown options: x, =, 1."},
    ParseCase{"missingValue", {"x", "--csv"}, "Missing value after '--csv'."},
    ParseCase{"aValueFaultOutranksUnknownOptions", {"--x", "--csv"}, "Missing value after '--csv'."},
    ParseCase{"unexpectedValue", {"--skip-bad=1", "x"}, "Unexpected value after '--skip-bad'."},
    ParseCase{"unexpectedValueAfterLetters", {"-vh=x"}, "Unexpected value after '-vh'."},
    ParseCase{"noLog", {"--skip-bad"}, "name at least one log file"},
    ParseCase{"emptyCsvName", {"--csv=", "x"}, "--csv wants a file name or -"},
    ParseCase{"pdfNotToStandardOutput", {"--pdf=-", "x"}, "--pdf wants a file name"},
    ParseCase{"pdfRefusedWithoutAWriter", {"--pdf", "r.pdf", "x"}, kNoPdf, {}, {}, 0.10, false},
    ParseCase{"pdfRefusedBeforeAnyOtherFault", {"--pdf=-", "--max-loss=x"}, kNoPdf, {}, {}, 0.10, false},
    ParseCase{"limitWithBlanksAround", {"--max-loss= 0.5\t", "x"}, "", {"x"}, {}, 0.5},
    ParseCase{"limitWithExponentAndSign", {"--max-loss=+1.e-1", "x"}, "", {"x"}, {}, 0.1},
    ParseCase{"limitWithoutLeadingZero", {"--max-loss=.25", "x"}, "", {"x"}, {}, 0.25},
    ParseCase{"limitNegativeZero", {"--max-loss=-0", "x"}, "", {"x"}, {}, 0.0},
    ParseCase{"limitHighest", {"--max-loss=1e3", "x"}, "", {"x"}, {}, 1000},
    ParseCase{"limitTooHigh", {"--max-loss=1000.0001", "x"}, limitFault("1000.0001")},
    ParseCase{"limitNegative", {"--max-loss=-0.01", "x"}, limitFault("-0.01")},
    ParseCase{"limitDecimalComma", {"--max-loss=0,1", "x"}, limitFault("0,1")},
    ParseCase{"limitHexadecimal", {"--max-loss=0x1p-3", "x"}, limitFault("0x1p-3")},
    ParseCase{"limitTooSmallToTell", {"--max-loss=1e-400", "x"}, limitFault("1e-400")},
    ParseCase{"limitNotANumber", {"--max-loss=nan", "x"}, limitFault("nan")},
    ParseCase{"limitTwoSigns", {"--max-loss=+-0", "x"}, limitFault("+-0")},
    ParseCase{"limitWithUnit", {"--max-loss=0.1dB", "x"}, limitFault("0.1dB")},
    ParseCase{"limitEmpty", {"--max-loss=", "x"}, limitFault("")}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(Arguments, helpAndVersionWinOverEverythingButAFaultyCommandLine)
{
    const auto parse = [](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "splice-report");
        return parseReportArguments(arguments, false);
    };
    EXPECT_TRUE(parse({"-vh"}).help);
    EXPECT_TRUE(parse({"--help-all", "--pdf", "r.pdf"}).help);
    const ReportRequest version = parse({"--max-loss=x", "-v"});
    EXPECT_TRUE(version.version);
    EXPECT_EQ(version.usageError, "");
    EXPECT_EQ(parse({"--help", "--loss"}).usageError, "Unknown option 'loss'.");
}

struct StatusCase {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    std::string printed;  // on standard output or error; empty for nothing in particular
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class ExitStatus : public testing::TestWithParam<StatusCase> {};

TEST_P(ExitStatus, tellsAScriptWhatHappened)
{
    const Outcome r = run(GetParam().arguments);
    EXPECT_EQ(r.status, GetParam().status) << r.err;
    EXPECT_NE((r.out + r.err).find(GetParam().printed), std::string::npos) << r.out << r.err;
}

INSTANTIATE_TEST_SUITE_P(Runs, ExitStatus, testing::Values(
    StatusCase{"withinAtTheLimit", {"--max-loss", "1.50", kSmall}, 0, "above 1.50 dB: 0 (0.0%)\n"},
    StatusCase{"badLineStops", {kSmall, kBad}, 1, "/bad.log:3: not a record line: \"NO 0007: 2004-02-29 10:09   LOSS:0.05dB\"\n"},
    StatusCase{"badLinesSkipped", {"--skip-bad", kBad}, 3,
               "lines skipped: 2\n  " + kBad + ":3: \"NO 0007: 2004-02-29 10:09   LOSS:0.05dB\"\n  " + kBad + ":5: \"\"\n"},
    StatusCase{"missingLog", {kData + "/absent.log"}, 1, "splice-report: " + kData + "/absent.log: "},
    StatusCase{"logIsAFolder", {kData}, 1, "splice-report: " + kData + ": file to open is a directory\n"},
    StatusCase{"unwritableCsv", {"--csv", kSmall + "/x.csv", kSmall}, 1, "splice-report: " + kSmall + "/x.csv: "},
    StatusCase{"usageError", {"--loss", kSmall}, 2, "splice-report: Unknown option 'loss'.\nTry 'splice-report --help'.\n"},
#ifdef _WIN32
    StatusCase{"pdfRefused", {"--pdf", kSmall + ".pdf", kSmall}, 2, "splice-report: " + kNoPdf + "\nTry 'splice-report --help'.\n"},
#else
    StatusCase{"unwritablePdf", {"--pdf", kSmall + "/x.pdf", kSmall}, 1, "splice-report: " + kSmall + "/x.pdf: "},
#endif
    StatusCase{"version", {"-v"}, 0, "splice-report " SPLICE_VERSION "\n"}),
    [](const testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

TEST(Csv, takesStandardInputAndSeveralLogsAsOneReport)
{
    // Record 2 is already in small.log.
    const std::string input = "NO 00002: 2002-12-19 15:31   LOSS:1.50dB\nNO 00009: 2005-05-05 05:05   LOSS:0.03dB";
    const Outcome r = run({"--csv=-", kSmall, "-"}, input);
    EXPECT_EQ(r.out, harness::contents(kData + "/small.csv") + "9,2005-05-05T05:05,0.03,no,\r\n");
    EXPECT_NE(r.err.find("splices: 9 from 14 record lines (5 dropped as duplicates)"), std::string::npos) << r.err;
}

TEST(Csv, fileReplacesWhatWasThereAndTheSummaryGoesToStandardOutput)
{
    const auto csv = harness::scratchFolder() / "small.csv";
    harness::writeFile(csv, std::string(5000, 'x'));
    const Outcome r = run({"--csv", harness::utf8Of(csv), kSmall});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(harness::contents(csv), harness::contents(kData + "/small.csv"));
    EXPECT_EQ(r.out.rfind("splices: 8 from 12 record lines (4 dropped as duplicates)\n", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
}

// Latin, Greek, CJK and a character beyond the 16-bit range (a surrogate pair in UTF-16).
TEST(Names, inAnyScriptAreOpenedWrittenAndPrintedInUtf8)
{
    const auto folder = harness::scratchFolder();
    const std::string log = harness::utf8Of(folder) + "/Spleiß-Zürich-Ωμέγα-接続-\xF0\x9F\x93\x93.log";
    const std::string csv = harness::utf8Of(folder) + "/Bericht-Straße.csv";
    harness::writeFile(harness::pathOf(log), harness::contents(kData + "/small.log") + "\r\n\r\nnot a record\r\n");

    Outcome r = run({"--csv", csv, log});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, log + ":13: not a record line: \"\"\n");

    r = run({"--skip-bad", "--csv", csv, log});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(harness::contents(harness::pathOf(csv)), harness::contents(kData + "/small.csv"));
    EXPECT_NE(r.out.find("  " + log + ":13: \"\"\n  " + log + ":14: \"not a record\"\n"), std::string::npos) << r.out;

    r = run({log + ".old"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("splice-report: " + log + ".old: ", 0), 0u) << r.err;
}

}  // namespace
}  // namespace splicerec::report
