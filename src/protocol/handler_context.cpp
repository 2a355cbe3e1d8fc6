#include "protocol/handler_context.h"

namespace splicerec {
namespace {

std::string joined(const std::string& first, const std::string& second)
{
    return first.empty() || second.empty() ? first + second : first + "\n" + second;
}

std::string missingReport(const std::vector<int>& missing)
{
    if (missing.empty())
        return {};
    std::string numbers;
    for (int number : missing)
        numbers += (numbers.empty() ? "" : ", ") + std::to_string(number);
    return "Records missing from the log (garbled on the line): " + numbers + ". A new download brings them back.";
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
        detail = joined(detail, error.what());
    }
    const auto missing = missingReport(state.missingRecords);
    if (!missing.empty())
        window.setStatusText(missing);
    showMessage(text, joined(detail, missing));
}

void HandlerContext::endQuietly()
{
    try {
        log.sync();
    } catch (const LogError&) {
        // Said at the next record or the end of the download, whichever comes first.
    }
    if (!state.missingRecords.empty())
        window.setStatusText(missingReport(state.missingRecords));
}

}  // namespace splicerec
