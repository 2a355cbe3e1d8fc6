#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "report/splice_report.h"

namespace splicerec::report {

// Exit statuses of splice-report.
enum ExitStatus : int {
    kWithinLimit = 0,
    kBadInput = 1,  // a line that is not a record line, a log or output that cannot be read or written
    kUsage = 2,
    kAboveLimit = 3,
};

// Draws the A4 report of `report`, headed `title`, into the file at `path` (UTF-8).
// False with the reason in `error`.
using PdfWriter = std::function<bool(const SpliceReport& report, const std::string& path, const std::string& title,
                                     std::string& error)>;

// What a command line asks for. With `usageError` set nothing else counts; with `help`
// or `version` set the rest was not checked.
struct ReportRequest {
    std::string usageError;  // without "splice-report: " and the hint that follows it
    bool help = false;
    bool version = false;
    std::vector<std::string> logs;  // "-" is standard input
    std::optional<std::string> csvPath;  // "-" is standard output
    std::optional<std::string> pdfPath;
    std::string title = "Splice report";
    double maxLossDb = 0.10;
    bool skipBad = false;
};

// Reads `arguments` (UTF-8, the program name first) the way the Qt build always has:
// "--name value" and "--name=value", one-letter options run together ("-hv"), "--"
// before logs that start with a dash. Without `pdfAvailable` --pdf is a usage error.
ReportRequest parseReportArguments(const std::vector<std::string>& arguments, bool pdfAvailable);

// Runs splice-report with `arguments` (UTF-8, the program name first), printing to
// standard output and error, and returns its exit status. An empty `writePdf` means a
// build that makes no PDF: --pdf is then refused as a usage error.
int runReport(const std::vector<std::string>& arguments, const std::string& version, const PdfWriter& writePdf);

}  // namespace splicerec::report
