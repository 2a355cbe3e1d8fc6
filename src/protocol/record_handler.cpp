#include "protocol/record_handler.h"

#include <algorithm>
#include <cstdio>

#include "protocol/record_line.h"

namespace splicerec {
namespace {

std::string fiveDigits(int value)
{
    char text[12];
    std::snprintf(text, sizeof text, "%05d", value);
    return text;
}

}  // namespace

void RecordHandler::onReceive()
{
    auto& window = context_.window;
    auto& state = context_.state;

    state.inputBuffer = context_.port.readInput();
    if (state.inputBuffer.size() < RecordLine::kFrameSize)
        return;  // a fragment is never taken for a record
    if (state.recordAwaited == 0)
        return;  // unasked for: a reply after its deadline, or noise during the link test
    state.recordAwaited = 0;

    const auto line = RecordLine::fromFrame(state.inputBuffer);
    state.recordFields = line.fields;
    window.setRecordCaption(line.text);
    if (state.pageFirstLine == 1) {
        window.setPageText(window.recordCaption());
        state.pageFirstLine = 0;
    } else {
        window.setPageText(window.pageText() + "\r\n" + window.recordCaption());
    }
    state.recordArrived = 1;
    window.showProgress(std::stoi(state.recordFields[0]), std::min(state.recordCount, kRecordLimit));

    try {
        context_.log.append(window.recordCaption());
    } catch (const std::exception& error) {
        return reportSaveError(error.what());
    }
    if (isLastRecord())
        completeDownload();
}

bool RecordHandler::isLastRecord() const
{
    const auto& state = context_.state;
    const auto& number = state.recordFields[0];
    if (state.recordCount <= kRecordLimit && number == fiveDigits(state.recordCount))
        return true;
    return state.recordCount > kRecordLimit && number == fiveDigits(kRecordLimit);
}

void RecordHandler::completeDownload()
{
    context_.state.recordArrived = 0;
    context_.window.showMessage("RECORD DOWNLOAD COMPLETE !");
    context_.state.downloadDone = 1;
    if (context_.port.isOpen())
        context_.port.close();
}

void RecordHandler::reportSaveError(const std::string& reason)
{
    context_.state.recordArrived = 0;
    context_.window.showMessage("RECORD SAVE ERROR !!", reason);
    if (context_.port.isOpen())
        context_.port.close();
    context_.window.setEnabled(Button::Command1, true);
}

}  // namespace splicerec
