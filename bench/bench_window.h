#pragma once

#include <string>

#include "window/event_pump.h"
#include "protocol/window_ops.h"

namespace splicerec::bench {

// The window without a window system: it keeps the texts, answers every message box at
// once and pumps events in the chosen mode, so only the protocol, the port and the
// pump are measured.
class BenchWindow final : public WindowOps {
public:
    explicit BenchWindow(EventPump::Mode mode) : pump_(mode) {}

    void setEnabled(Button, bool) override {}
    void setStatusText(const std::string& text) override { status_ = text; }
    std::string statusText() const override { return status_; }
    void setPageText(const std::string& text) override { page_ = text; }
    std::string pageText() const override { return page_; }
    void setRecordCaption(const std::string& text) override { caption_ = text; }
    std::string recordCaption() const override { return caption_; }
    void showProgress(int received, int total) override;
    void showMessage(const std::string& text, const std::string& detail = {}) override;
    void pumpEvents(bool userInput = true) override { pump_.pumpOnce(userInput); }
    bool quitRequested() const override { return false; }

    int recordsShown() const { return recordsShown_; }
    int lastRecordNumber() const { return lastRecordNumber_; }
    // Every message box text so far, one a line.
    const std::string& messages() const { return messages_; }
    bool downloadCompleted() const { return completed_; }

private:
    EventPump pump_;
    std::string status_;
    std::string page_;
    std::string caption_;
    std::string messages_;
    int recordsShown_ = 0;
    int lastRecordNumber_ = 0;
    bool completed_ = false;
};

}  // namespace splicerec::bench
