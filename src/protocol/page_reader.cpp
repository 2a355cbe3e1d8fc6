#include "protocol/page_reader.h"

#include "protocol/record_handler.h"
#include "protocol/waits.h"

namespace splicerec {

std::string PageReader::stoppedAfter() const
{
    const auto& state = context_.state;
    const int last = state.expectedNumber - 1;
    const auto total = std::to_string(RecordHandler::lastNumber(state));
    if (last < 1)
        return "Stopped before the first of " + total + " records.";
    return "Stopped after record " + std::to_string(last) + " of " + total + ".";
}

void PageReader::openIfClosed()
{
    if (!context_.port.isOpen())
        context_.port.open();
}

void PageReader::requestRecord(Waiter& wait)
{
    auto& port = context_.port;
    auto& state = context_.state;

    // Record 1 begins a download, and its account.
    if (state.expectedNumber == 1)
        state.startAccount();
    port.clearOutput();
    port.clearInput();
    struct Awaiting {
        int& flag;
        ~Awaiting() { flag = 0; }
    } awaiting{state.recordAwaited};
    state.recordAwaited = 1;
    port.write("n");
    const auto deadline = wait.after(kRecordTimeout);
    wait.drainOutput(deadline);
    // The record handler closes the port when the download completes or the log
    // fails, so the record never arrives in those cases: the wait ends with them.
    if (!wait.until([&] { return state.recordArrived != 0 || state.downloadDone != 0; }, deadline))
        throw DeviceSilent();
    if (state.downloadDone != 0)
        throw HandlerSuperseded{};
    state.recordArrived = 0;
}

void PageReader::readPage(std::initializer_list<Button> disabled, bool clearBuffers,
                          std::initializer_list<Button> enabledAfter)
{
    auto& state = context_.state;
    for (auto button : disabled)
        context_.window.setEnabled(button, false);
    state.downloadDone = 0;
    Waiter wait(context_);
    openIfClosed();
    state.pageFirstLine = 1;
    state.recordArrived = 0;
    if (clearBuffers) {
        context_.port.clearOutput();
        context_.port.clearInput();
    }
    for (int i = 0; i < kPageSize; ++i)
        requestRecord(wait);
    context_.endQuietly();
    for (auto button : enabledAfter)
        context_.window.setEnabled(button, true);
}

void PageReader::start()
{
    readPage({Button::Command1, Button::Command2, Button::Command3, Button::Command4}, true,
             {Button::Command4, Button::Command2, Button::Command3});
}

void PageReader::nextPage()
{
    readPage({Button::Command1, Button::Command2, Button::Command4, Button::Command3}, false,
             {Button::Command4, Button::Command3, Button::Command2});
}

void PageReader::readAll()
{
    auto& window = context_.window;
    auto& state = context_.state;
    window.setEnabled(Button::Command1, false);
    window.setEnabled(Button::Command4, false);
    window.setEnabled(Button::Command2, true);
    window.setEnabled(Button::Command3, false);
    state.downloadDone = 0;
    state.stopRequested = 0;
    Waiter wait(context_);
    openIfClosed();
    context_.port.clearOutput();
    context_.port.clearInput();

    bool stopped = false;
    while (state.downloadDone == 0 && !stopped) {
        state.pageFirstLine = 1;
        state.recordArrived = 0;
        for (int i = 0; i < kPageSize && !stopped; ++i) {
            requestRecord(wait);
            stopped = state.stopRequested == 1;
        }
    }

    if (stopped)
        context_.announceEnd("Reading record stopped !", stoppedAfter());
    else
        window.setEnabled(Button::Command1, true);
    window.setEnabled(Button::Command3, true);
}

void PageReader::stopRead()
{
    auto& window = context_.window;
    context_.state.stopRequested = 1;
    window.setEnabled(Button::Command1, false);
    for (auto button : {Button::Command4, Button::Command2, Button::Command3})
        window.setEnabled(button, true);
}

}  // namespace splicerec
