#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "instrument.h"
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
    void sync() override { synced = lines.size(); }
    void checkAppendable() const override;
    std::string location() const override { return "/fake/RECORD.txt"; }

    std::vector<std::string> lines;
    std::size_t synced = 0;  // lines on the disk
    int failFrom = 0, appends = 0;
    bool unappendable = false;  // as a missing folder is
};

// A port whose far end is a peer on the fake clock: the simulated instrument, or a
// fuzzer's script. Written bytes reach the peer at once unless the line is stalled; its
// replies land in the input buffer once due, when the window pumps. It keeps the
// SerialPort contract on a closed port, as QtSerialPort does.
class SimPort final : public SerialPort {
public:
    using Peer = std::function<std::vector<sim::Emission>(std::uint8_t)>;

    SimPort(FakeWindow& window, FakeClock& clock, Peer peer, bool stalled = false);

    void setSettings(const std::string&) override {}
    bool isOpen() const override { return open_; }
    void open() override;
    void close() override;
    void clearOutput() override { pendingOutput_ = 0; }
    void clearInput() override { input_.clear(); }
    void write(std::string_view text) override;
    int pendingOutput() const override { return pendingOutput_; }
    int pendingInput() const override { return static_cast<int>(input_.size()); }
    std::optional<PortError> failure() const override { return failure_; }
    std::string deviceName() const override { return "/dev/ttySIM0"; }

    // Bytes that turn up from the line at once, as noise or a stray frame would.
    void inject(const std::vector<std::uint8_t>& bytes);
    // The device goes away, as an unplugged adapter does.
    void hangUp();
    bool replying() const { return !inFlight_.empty(); }
    // When the next reply byte lands; none when nothing is on its way.
    std::optional<Clock::TimePoint> nextDue() const
    {
        return inFlight_.empty() ? std::nullopt : std::optional(inFlight_.front().first);
    }

    std::string openError;  // when set, the next open() fails with it
    std::string heard;      // every byte the peer has received

protected:
    std::vector<std::uint8_t> takeInput() override;

private:
    void deliverDue();

    FakeClock& clock_;
    Peer peer_;
    bool stalled_;
    std::deque<std::pair<Clock::TimePoint, sim::Emission>> inFlight_;
    std::vector<std::uint8_t> input_;
    std::optional<PortError> failure_;
    int pendingOutput_ = 0;
    bool open_ = false;
};

}  // namespace splicerec::test
