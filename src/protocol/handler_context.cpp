#include "protocol/handler_context.h"

namespace splicerec {
namespace {

std::string joined(const std::string& first, const std::string& second)
{
    return first.empty() || second.empty() ? first + second : first + "\n" + second;
}

std::string listed(const std::vector<int>& numbers)
{
    std::string text;
    for (int number : numbers)
        text += (text.empty() ? "" : ", ") + std::to_string(number);
    return text;
}

// Every record of the download not in the log, named, and how to get it.
std::string accountReport(const DownloadState& state)
{
    std::string text;
    if (!state.missingRecords.empty())
        text = "Records missing from the log (garbled on the line): " + listed(state.missingRecords) + ".";
    if (!state.outOfOrderRecords.empty())
        text += (text.empty() ? "" : " ") + std::string("Records that came out of order, not logged: ") +
                listed(state.outOfOrderRecords) + ".";
    return text.empty() ? text : text + " Com Test, then ReadAll, reads them again.";
}

}  // namespace

void HandlerContext::showMessage(const std::string& text, const std::string& detail)
{
    const auto opened = clock.now();
    window.showMessage(text, detail);
    state.timeInBoxes += clock.now() - opened;
}

void HandlerContext::announceEnd(const std::string& text, std::string detail)
{
    try {
        log.sync();
    } catch (const LogError& error) {
        // After a failed save the flush usually fails for the same reason: said once.
        if (detail.find(error.what()) == std::string::npos)
            detail = joined(detail, error.what());
    }
    const auto account = accountReport(state);
    if (!account.empty())
        window.setStatusText(account);
    showMessage(text, joined(detail, account));
}

void HandlerContext::endQuietly()
{
    try {
        log.sync();
    } catch (const LogError&) {
        // Said at the next record or the end of the download, whichever comes first.
    }
    if (const auto account = accountReport(state); !account.empty())
        window.setStatusText(account);
}

}  // namespace splicerec
