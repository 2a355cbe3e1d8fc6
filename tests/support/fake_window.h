#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "protocol/clock.h"
#include "window/window_ops.h"

namespace splicerec::test {

// Time that moves only when the fake window pumps events.
class FakeClock final : public Clock {
public:
    TimePoint now() const override { return now_; }
    void advance(std::chrono::microseconds step) { now_ += step; }

private:
    TimePoint now_{};
};

// A window without a window system. Each pumpEvents() lets one millisecond pass and
// runs the hooks, which deliver port data and play the operator's clicks.
class FakeWindow final : public WindowOps {
public:
    explicit FakeWindow(FakeClock& clock) : clock_(clock) {}

    void setEnabled(Button button, bool enabled) override { enabled_[button] = enabled; }
    bool isEnabled(Button button) const;

    void setStatusText(const std::string& text) override;
    std::string statusText() const override { return status_; }
    void setPageText(const std::string& text) override { page_ = text; }
    std::string pageText() const override { return page_; }
    void setRecordCaption(const std::string& text) override { caption_ = text; }
    std::string recordCaption() const override { return caption_; }
    void showProgress(int received, int total) override { progress_ = {received, total}; }
    void showMessage(const std::string& text, const std::string& detail) override;
    void pumpEvents() override;
    bool quitRequested() const override { return quit; }

    // Runs at every pump, in the order added.
    void onPump(std::function<void()> hook) { pumpHooks_.push_back(std::move(hook)); }
    // Runs while a message box is open, as if the operator did something then.
    std::function<void(const std::string&)> whileMessageShown;

    const std::vector<std::string>& messages() const { return messages_; }
    const std::vector<std::string>& messageDetails() const { return details_; }
    const std::vector<std::string>& statusHistory() const { return statusHistory_; }
    std::pair<int, int> progress() const { return progress_; }
    long pumps() const { return pumps_; }

    bool quit = false;

private:
    FakeClock& clock_;
    std::map<Button, bool> enabled_;
    std::string status_, page_, caption_;
    std::pair<int, int> progress_{0, 0};
    std::vector<std::string> messages_, details_, statusHistory_;
    std::vector<std::function<void()>> pumpHooks_;
    long pumps_ = 0;
};

}  // namespace splicerec::test
