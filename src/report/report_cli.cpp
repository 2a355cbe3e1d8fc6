#include "report/report_cli.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <system_error>

#include "report/report_files.h"
#include "report/text_output.h"

namespace splicerec::report {
namespace {

enum Option : std::size_t { kCsv, kPdf, kTitle, kMaxLoss, kSkipBad, kHelp, kHelpAll, kVersion, kOptionCount };

struct OptionName {
    std::string_view name;
    Option option;
    bool takesValue;
};

constexpr OptionName kOptionNames[] = {
    {"csv", kCsv, true},
    {"pdf", kPdf, true},
    {"title", kTitle, true},
    {"max-loss", kMaxLoss, true},
    {"skip-bad", kSkipBad, false},
    {"h", kHelp, false},
    {"help", kHelp, false},
    {"help-all", kHelpAll, false},
    {"v", kVersion, false},
    {"version", kVersion, false},
};

// The command line split into options and logs, before any value is checked. Scanning
// goes on past a fault so that the message can name every unknown option at once.
struct Scan {
    std::array<bool, kOptionCount> set{};
    std::array<std::optional<std::string>, kOptionCount> value;  // the last one given
    std::vector<std::string> unknown;
    std::string valueFault;  // the last one found; it outranks unknown options
    std::vector<std::string> logs;

    const OptionName* find(const std::string& name)
    {
        for (const OptionName& option : kOptionNames)
            if (option.name == name) {
                set[option.option] = true;
                return &option;
            }
        unknown.push_back(name);
        return nullptr;
    }

    // For "--name" and for the last letter of "-abc": a value after '=' or in the next argument.
    void takeValue(const OptionName& option, const std::vector<std::string>& arguments, std::size_t& index)
    {
        const std::string& argument = arguments[index];
        const std::size_t assign = argument.find('=');
        if (!option.takesValue) {
            if (assign != std::string::npos)
                valueFault = "Unexpected value after '" + argument.substr(0, assign) + "'.";
        } else if (assign != std::string::npos) {
            value[option.option] = argument.substr(assign + 1);
        } else if (++index == arguments.size()) {
            valueFault = "Missing value after '" + argument + "'.";
        } else {
            value[option.option] = arguments[index];
        }
    }

    std::string fault() const
    {
        if (!valueFault.empty() || unknown.empty())
            return valueFault;
        if (unknown.size() == 1)
            return "Unknown option '" + unknown.front() + "'.";
        std::string names;
        for (const std::string& name : unknown)
            names += (names.empty() ? "" : ", ") + name;
        return "Unknown options: " + names + ".";
    }
};

// A letter of "-abc" is one character, however many bytes UTF-8 gives it.
std::size_t characterLength(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return std::min(length, text.size() - at);
}

Scan scan(const std::vector<std::string>& arguments)
{
    Scan s;
    bool onlyLogs = false;
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (onlyLogs || argument.size() < 2 || argument[0] != '-') {
            s.logs.push_back(argument);
        } else if (argument == "--") {
            onlyLogs = true;
        } else if (argument[1] == '-') {
            if (const OptionName* option = s.find(argument.substr(2, argument.find('=') - 2)))
                s.takeValue(*option, arguments, index);
        } else {
            const OptionName* last = nullptr;
            for (std::size_t at = 1; at < argument.size();) {
                const std::size_t length = characterLength(argument, at);
                last = s.find(argument.substr(at, length));
                at += length;
                if (last && at < argument.size() && argument[at] == '=')
                    break;
            }
            if (last)
                s.takeValue(*last, arguments, index);
        }
    }
    return s;
}

// A number as the Qt build read it: blanks around it, a sign, an exponent allowed; no
// thousands separator, no hexadecimal, nothing too small to tell from zero.
std::optional<double> decimal(std::string_view text)
{
    constexpr std::string_view kBlanks = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return std::nullopt;
    text = text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
    if (text.front() == '+' && text.size() > 1 && text[1] != '-')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (fault != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

ReportRequest refused(std::string message)
{
    ReportRequest request;
    request.usageError = std::move(message);
    return request;
}

void print(Stream stream, const std::string& text) { writeStream(stream, text); }

// The --help text; the build without a PDF says so.
std::string helpText(const std::string& programName, bool pdfAvailable)
{
    // Laid out as the Qt build's parser did it, so that the Linux help reads as before.
    std::string text = "Usage: " + programName + " [options] LOG...\n";
    text += "Makes a splice report from splice-records logs: duplicates from repeated downloads\n"
            "collapse to one, each loss is checked against a limit, and the result goes to a CSV\n";
    text += pdfAvailable ? "file, an A4 PDF and a short summary on standard output.\n"
                         : "file and a short summary on standard output. This Windows build makes no PDF.\n";
    text += "\n"
            "Exit status: 0 every splice within the limit, 3 one or more above it,\n"
            "1 bad input (a line that is not a record line, an unreadable log, an unwritable output),\n"
            "2 usage error.\n"
            "\n"
            "Options:\n"
            "  --csv <FILE>     Write the splices as CSV to FILE (- for standard output).\n";
    text += pdfAvailable ? "  --pdf <FILE>     Write the A4 report to FILE.\n"
                         : "  --pdf <FILE>     Not in the Windows build: use --csv.\n";
    text += "  --title <TEXT>   Heading of the PDF report (job or route name).\n"
            "  --max-loss <DB>  Loss limit in dB; a splice above it is marked (default\n"
            "                   0.10).\n"
            "  --skip-bad       Skip lines that are not record lines, and list them in the\n"
            "                   report.\n"
            "  -h, --help       Displays help on commandline options.\n";
    text += pdfAvailable ? "  --help-all       Displays help including Qt specific options.\n"
                         : "  --help-all       The same as --help.\n";
    text += "  -v, --version    Displays version information.\n"
            "\n"
            "Arguments:\n"
            "  LOG              Log files written by splice-records (- for standard input).\n";
    return text;
}

}  // namespace

ReportRequest parseReportArguments(const std::vector<std::string>& arguments, bool pdfAvailable)
{
    Scan s = scan(arguments);
    if (std::string fault = s.fault(); !fault.empty())
        return refused(std::move(fault));
    ReportRequest request;
    request.help = s.set[kHelp] || s.set[kHelpAll];
    request.version = s.set[kVersion];
    if (request.help || request.version)
        return request;

    // Refused before anything else is checked: no other change to the command line helps.
    if (s.set[kPdf] && !pdfAvailable)
        return refused("PDF output is not available in the Windows build; --csv FILE writes the splices for a "
                       "spreadsheet instead");
    const std::string limit = s.value[kMaxLoss].value_or("0.10");
    const std::optional<double> maxLoss = decimal(limit);
    if (!maxLoss || !(*maxLoss >= 0) || *maxLoss > 1000)
        return refused("--max-loss wants a loss in dB such as 0.10, not \"" + limit + "\"");
    if (s.logs.empty())
        return refused("name at least one log file");
    if (s.set[kCsv] && s.value[kCsv]->empty())
        return refused("--csv wants a file name or -");
    if (s.set[kPdf] && (s.value[kPdf]->empty() || *s.value[kPdf] == "-"))
        return refused("--pdf wants a file name");

    request.logs = std::move(s.logs);
    request.csvPath = std::move(s.value[kCsv]);
    request.pdfPath = std::move(s.value[kPdf]);
    request.title = s.value[kTitle].value_or(request.title);
    request.maxLossDb = *maxLoss;
    request.skipBad = s.set[kSkipBad];
    return request;
}

int runReport(const std::vector<std::string>& arguments, const std::string& version, const PdfWriter& writePdf)
{
    const ReportRequest request = parseReportArguments(arguments, static_cast<bool>(writePdf));
    if (!request.usageError.empty()) {
        print(Stream::error, "splice-report: " + request.usageError + "\nTry 'splice-report --help'.\n");
        return kUsage;
    }
    if (request.help) {
        print(Stream::output, helpText(arguments.empty() ? "splice-report" : arguments.front(), bool(writePdf)));
        return kWithinLimit;
    }
    if (request.version) {
        print(Stream::output, "splice-report " + version + "\n");
        return kWithinLimit;
    }

    ParsedLogs parsed;
    std::string content, error;
    for (const std::string& log : request.logs) {
        if (!readInput(log, content, error)) {
            print(Stream::error, "splice-report: " + log + ": " + error + "\n");
            return kBadInput;
        }
        if (!parseLog(content, log, !request.skipBad, parsed)) {
            const BadLine& bad = parsed.badLines.back();
            print(Stream::error, log + ":" + std::to_string(bad.line) + ": not a record line: \"" +
                                     printableLine(bad.text) + "\"\n");
            return kBadInput;
        }
    }
    const SpliceReport report = buildReport(std::move(parsed), request.maxLossDb);

    const bool csvToStdout = request.csvPath == "-";
    if (csvToStdout && !writeStream(Stream::output, csvText(report))) {
        print(Stream::error, "splice-report: cannot write the CSV to standard output\n");
        return kBadInput;
    }
    if (request.csvPath && !csvToStdout && !writeOutputFile(*request.csvPath, csvText(report), error)) {
        print(Stream::error, "splice-report: " + *request.csvPath + ": " + error + "\n");
        return kBadInput;
    }
    if (request.pdfPath && !writePdf(report, *request.pdfPath, request.title, error)) {
        print(Stream::error, "splice-report: " + *request.pdfPath + ": " + error + "\n");
        return kBadInput;
    }
    // The summary keeps out of the way of a CSV on standard output.
    print(csvToStdout ? Stream::error : Stream::output, summaryText(report));
    return report.statistics.aboveLimit ? kAboveLimit : kWithinLimit;
}

}  // namespace splicerec::report
