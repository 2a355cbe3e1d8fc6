// splice-report.exe: the summary and the CSV; the PDF needs Qt, which the Windows build has not.
#include "report/report_cli.h"
#include "report/report_files.h"

int main()
{
    return splicerec::report::runReport(splicerec::report::commandLineArguments(), SPLICE_VERSION, {});
}
