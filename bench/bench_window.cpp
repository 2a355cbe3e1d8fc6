#include "bench_window.h"

namespace splicerec::bench {

void BenchWindow::showProgress(int received, int)
{
    // The record handler reports progress once per record it accepted.
    ++recordsShown_;
    lastRecordNumber_ = received;
}

void BenchWindow::showMessage(const std::string& text, const std::string& detail)
{
    messages_ += text;
    if (!detail.empty())
        messages_ += " (" + detail + ")";
    messages_ += '\n';
    if (text == "RECORD DOWNLOAD COMPLETE !")
        completed_ = true;
}

}  // namespace splicerec::bench
