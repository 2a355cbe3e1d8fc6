#pragma once

#include <QStringList>

namespace splicerec::report {

// Exit statuses of splice-report.
enum ExitStatus : int {
    kWithinLimit = 0,
    kBadInput = 1,  // a line that is not a record line, a log or output that cannot be read or written
    kUsage = 2,
    kAboveLimit = 3,
};

// Runs splice-report with `arguments` (the program name first), printing to standard
// output and error. --pdf needs a QGuiApplication.
int runReport(const QStringList& arguments);

}  // namespace splicerec::report
