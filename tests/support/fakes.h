#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "in_process_port.h"
#include "log/record_sink.h"
#include "protocol/clock.h"
#include "protocol/serial_port.h"
#include "protocol/window_ops.h"

namespace splicerec::test {

// Time that moves only when the fake window pumps events, or a test moves it.
class FakeClock final : public Clock {
public:
    TimePoint now() const override { return now_; }
    void advance(std::chrono::microseconds step) { now_ += step; }

private:
    TimePoint now_{};
};

// The enabled lower buttons by their captions, left to right: "Start,ReadAll".
std::string enabledButtons(const std::function<bool(Button)>& isEnabled);

// A window without a window system. Each pumpEvents() lets one millisecond pass and
// runs the hooks, which deliver port data and play the technician's clicks.
struct FakeWindow final : WindowOps {
    explicit FakeWindow(FakeClock& clock) : clock(clock) {}

    void setEnabled(Button button, bool on) override { enabled[button] = on; }
    std::string buttons() const { return enabledButtons([this](Button b) { return enabled.at(b); }); }
    void setStatusText(const std::string& text) override { statusHistory.push_back(status = text); }
    std::string statusText() const override { return status; }
    void setPageText(const std::string& text) override { page = text; }
    std::string pageText() const override { return page; }
    void setRecordCaption(const std::string& text) override { captions.push_back(caption = text); }
    std::string recordCaption() const override { return caption; }
    void showProgress(int received, int total) override { progress = {received, total}; }
    void showMessage(const std::string& text, const std::string& detail) override;
    void pumpEvents(bool userInput = true) override;
    bool quitRequested() const override { return quit; }

    // Runs at every pump, in the order added; a hook may add hooks.
    void onPump(std::function<void()> hook) { pumpHooks.push_back(std::move(hook)); }

    FakeClock& clock;
    // Enabled, as a new widget's buttons are, until the logic says otherwise.
    std::map<Button, bool> enabled{
        {Button::Command1, true}, {Button::Command2, true}, {Button::Command3, true}, {Button::Command4, true}};
    std::string status, page, caption;
    std::vector<std::string> messages, details, statusHistory, captions;
    std::pair<int, int> progress{0, 0};
    // Runs while a message box is open, as if the technician did something then.
    std::function<void(const std::string&)> whileMessageShown;
    std::vector<std::function<void()>> pumpHooks;
    long pumps = 0;
    bool quit = false;
    bool userInput = true;  // whether the pump now running may dispatch clicks
};

// The record log in memory; it fails from the `failFrom`-th append on (1-based, 0: never).
struct FakeSink final : RecordSink {
    void append(std::string_view line) override;
    void sync() override;
    void checkAppendable() const override;
    std::string location() const override { return "/fake/RECORD.txt"; }

    std::vector<std::string> lines;
    std::size_t synced = 0;  // lines on the disk
    bool syncFailed = false;  // the last flush could not put them there
    int failFrom = 0, appends = 0;
    bool unappendable = false;  // as a missing folder is
    bool vanishes = false;      // from failFrom on, as a folder that is gone: the flush fails too
};

// The in-process port on the fake clock, delivering at every pump; the first open can
// be made to fail.
class SimPort final : public sim::InProcessPort {
public:
    SimPort(FakeWindow& window, FakeClock& clock, Peer peer, bool stalled = false);

    void open() override;

    std::string openError;  // when set, the next open() fails with it
};

}  // namespace splicerec::test
