// The fuzz input plays the instrument (and a restless operator) through a whole session
// against the real controller on a fake clock. The session must end, every record shown
// must be in the log, in order, unless a save error was reported for it, and a handler
// interrupted by a newer link test must leave the line alone.
//
// Input: one flag byte, then entries taken one or more at a time each time the host
// writes a byte. An entry is a header byte and a delay byte (milliseconds):
//   00nnnnnn  the next n input bytes arrive after the delay; the last entry for this byte
//   01nnnnnn  the same, and another entry follows
//   10xxxxxx  the line drops after the delay (the port closes itself); the last entry
//   11xxxccc  the operator clicks button ccc % 6 (see Click) after the delay; another follows
// An exhausted input is an instrument that has gone quiet.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "protocol/controller.h"
#include "support/fake_window.h"

namespace splicerec::fuzz {
namespace {

using test::FakeClock;
using test::FakeWindow;

[[noreturn]] void violated(const std::string& what)
{
    std::fprintf(stderr, "session_fuzz: %s\n", what.c_str());
    std::abort();
}

// Flag byte.
constexpr std::uint8_t kLogBrokenFromStart = 0x01;
constexpr std::uint8_t kStartInsteadOfReadAll = 0x02;
constexpr std::uint8_t kFirstOpenFails = 0x04;
// High nibble K > 0: the log breaks just before the K-th record shown is saved.

enum class Click { StopRead, ComTest, Start, NextPage, ReadAll, CloseWindow };

class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool take(std::uint8_t& byte)
    {
        if (pos_ >= size_)
            return false;
        byte = data_[pos_++];
        return true;
    }
    std::vector<std::uint8_t> take(std::size_t count)
    {
        count = std::min(count, size_ - pos_);
        std::vector<std::uint8_t> bytes(data_ + pos_, data_ + pos_ + count);
        pos_ += count;
        return bytes;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A port whose far end is the script. Like a real port it consumes what is read,
// hears nothing while closed, and raises the receive notification only through the base.
class ScriptedPort final : public SerialPort {
public:
    ScriptedPort(FakeWindow& window, FakeClock& clock, Script& script) : clock_(clock), script_(script)
    {
        window.onPump([this] { deliverDue(); });
    }

    void setSettings(const std::string&) override {}
    bool isOpen() const override { return open_; }
    void open() override
    {
        if (failNextOpen) {
            failNextOpen = false;
            throw PortError("cannot open " + deviceName() + ": Device or resource busy");
        }
        open_ = true;
        failure_.clear();
    }
    void close() override
    {
        open_ = false;
        failure_.clear();
        input_.clear();
        pendingOutput_ = 0;
    }
    void clearOutput() override { pendingOutput_ = 0; }
    void clearInput() override { input_.clear(); }
    void write(std::string_view text) override
    {
        if (!open_)
            return;
        if (beforeWrite)
            beforeWrite(text);
        // The bytes leave at the next pump.
        pendingOutput_ += static_cast<int>(text.size());
        written += text;
        for (std::size_t i = 0; i < text.size(); ++i)
            scheduleReply();
    }
    int pendingOutput() const override { return pendingOutput_; }
    int pendingInput() const override { return static_cast<int>(input_.size()); }
    std::string failure() const override { return failure_; }
    std::string deviceName() const override { return "/dev/ttyFUZZ0"; }

    bool idle() const { return events_.empty(); }
    std::function<void(Click)> onClick;
    std::function<void(std::string_view)> beforeWrite;
    bool failNextOpen = false;
    std::string written;

protected:
    std::vector<std::uint8_t> takeInput() override { return std::exchange(input_, {}); }

private:
    enum class Kind { Data, HangUp, Click };
    struct Event {
        Clock::TimePoint due;
        Kind kind;
        std::vector<std::uint8_t> bytes;
        Click click;
    };

    void scheduleReply()
    {
        std::uint8_t header = 0;
        for (bool more = true; more && script_.take(header);) {
            std::uint8_t delay = 0;
            script_.take(delay);
            Event event{clock_.now() + std::chrono::milliseconds(delay), Kind::Data, {}, Click::StopRead};
            switch (header >> 6) {
            case 0:
            case 1:
                event.bytes = script_.take(header & 0x3F);
                more = header >> 6 == 1;
                break;
            case 2:
                event.kind = Kind::HangUp;
                more = false;
                break;
            default:
                event.kind = Kind::Click;
                event.click = static_cast<Click>((header & 0x07) % 6);
                break;
            }
            const auto at = std::upper_bound(events_.begin(), events_.end(), event.due,
                                             [](Clock::TimePoint due, const Event& e) { return due < e.due; });
            events_.insert(at, std::move(event));
        }
    }

    // Runs at every pump, possibly nested inside a click it ran itself.
    void deliverDue()
    {
        if (open_)
            pendingOutput_ = 0;
        while (!events_.empty() && events_.front().due <= clock_.now()) {
            auto event = std::move(events_.front());
            events_.pop_front();
            switch (event.kind) {
            case Kind::Data:
                if (!open_)
                    break;
                input_.insert(input_.end(), event.bytes.begin(), event.bytes.end());
                raiseReceiveWhileFrameWaiting();
                break;
            case Kind::HangUp:
                if (!open_)
                    break;
                open_ = false;
                input_.clear();
                failure_ = "The connection to " + deviceName() + " was lost.";
                break;
            case Kind::Click:
                if (onClick)
                    onClick(event.click);
                break;
            }
        }
    }

    FakeClock& clock_;
    Script& script_;
    std::deque<Event> events_;
    std::vector<std::uint8_t> input_;
    std::string failure_;
    int pendingOutput_ = 0;
    bool open_ = false;
};

// The fake window, plus a record of each line put in the text area and what followed it.
class RecordingWindow final : public WindowOps {
public:
    static constexpr const char* kSaveError = "RECORD SAVE ERROR !!";

    RecordingWindow(FakeWindow& window, long pumpLimit) : window_(window), pumpLimit_(pumpLimit) {}

    void setEnabled(Button button, bool enabled) override { window_.setEnabled(button, enabled); }
    void setStatusText(const std::string& text) override { window_.setStatusText(text); }
    std::string statusText() const override { return window_.statusText(); }
    void setPageText(const std::string& text) override
    {
        window_.setPageText(text);
        const auto lineStart = text.rfind("\r\n");
        shown.push_back({lineStart == std::string::npos ? text : text.substr(lineStart + 2), false});
        if (onShown)
            onShown(shown.size());
    }
    std::string pageText() const override { return window_.pageText(); }
    void setRecordCaption(const std::string& text) override { window_.setRecordCaption(text); }
    std::string recordCaption() const override { return window_.recordCaption(); }
    void showProgress(int received, int total) override { window_.showProgress(received, total); }
    void showMessage(const std::string& text, const std::string& detail) override
    {
        if (text == "Unexpected error !")
            violated("a handler failed unexpectedly: " + detail);
        if (text == kSaveError) {
            // It belongs to the line just shown, and to no other.
            if (shown.empty() || shown.back().saveFailed)
                violated("a save error was reported without a record to go with it");
            shown.back().saveFailed = true;
        }
        window_.showMessage(text, detail);
    }
    void pumpEvents() override
    {
        if (++pumps_ > pumpLimit_)
            violated("the session did not end within " + std::to_string(pumpLimit_) + " pumps");
        window_.pumpEvents();
    }
    bool quitRequested() const override { return window_.quitRequested(); }

    struct Shown {
        std::string line;
        bool saveFailed;
    };
    std::vector<Shown> shown;
    std::function<void(std::size_t)> onShown;

private:
    FakeWindow& window_;
    long pumpLimit_;
    long pumps_ = 0;
};

std::string contents(const std::filesystem::path& path)
{
    if (!std::filesystem::is_regular_file(path))
        return {};
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A private folder for this process, so that parallel fuzzing jobs keep apart; in
// memory when the system has a place for that, as every session creates the log anew.
const std::filesystem::path& logDir()
{
    static const auto dir = [] {
        const std::filesystem::path memory = "/dev/shm";
        const auto parent = ::access(memory.c_str(), W_OK) == 0 ? memory : std::filesystem::temp_directory_path();
        return parent / ("splice-fuzz-" + std::to_string(::getpid()));
    }();
    return dir;
}

// Makes the log unwritable: a folder where the file should be.
void breakLog(const std::filesystem::path& path)
{
    std::filesystem::remove_all(path);
    std::filesystem::create_directory(path);
}

void runSession(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return;
    const std::uint8_t flags = data[0];
    Script script(data + 1, size - 1);
    const auto logPath = logDir() / "RECORD.txt";
    std::filesystem::remove_all(logDir());
    std::filesystem::create_directories(logDir());
    if (flags & kLogBrokenFromStart)
        breakLog(logPath);

    // Every host byte can cost at most one reply timeout (a few seconds) and consumes
    // at least one entry while the input lasts: far fewer pumps than this.
    const long pumpLimit = 100'000 + 5'000 * static_cast<long>(size);

    FakeClock clock;
    FakeWindow fake(clock);
    RecordingWindow window(fake, pumpLimit);
    ScriptedPort port(fake, clock, script);
    Controller controller(window, port, clock, RecordLog(logPath));
    port.failNextOpen = (flags & kFirstOpenFails) != 0;
    // With nothing left in flight a pump changes nothing but the time, so let time run
    // faster towards the deadlines: a timeout costs a few pumps instead of thousands.
    fake.onPump([&] {
        if (port.idle())
            clock.advance(std::chrono::milliseconds(499));
    });

    std::string savedBeforeBreak;
    if (const std::size_t breakAt = flags >> 4) {
        window.onShown = [&, breakAt](std::size_t count) {
            if (count == breakAt) {
                savedBeforeBreak = contents(logPath);
                breakLog(logPath);
            }
        };
    }
    // Handlers nest as clicks arrive inside waits. A link test that returns leaves the
    // handlers it interrupted superseded: none of them may touch the line again.
    int depth = 0;
    int superseded = 0;  // handlers at this depth and below are superseded
    const auto handle = [&](void (Controller::*handler)()) {
        ++depth;
        (controller.*handler)();
        --depth;
        superseded = handler == &Controller::comTest ? depth : std::min(superseded, depth);
    };
    port.beforeWrite = [&](std::string_view text) {
        if (depth <= superseded)
            violated("a handler superseded by a newer link test wrote \"" + std::string(text) + "\"");
    };
    // A click on a disabled button does nothing, as in the real window.
    port.onClick = [&](Click click) {
        switch (click) {
        case Click::StopRead:
            if (fake.isEnabled(Button::Command2))
                handle(&Controller::stopRead);
            break;
        case Click::ComTest:
            handle(&Controller::comTest);
            break;
        case Click::Start:
            if (fake.isEnabled(Button::Command1))
                handle(&Controller::start);
            break;
        case Click::NextPage:
            if (fake.isEnabled(Button::Command4))
                handle(&Controller::nextPage);
            break;
        case Click::ReadAll:
            if (fake.isEnabled(Button::Command3))
                handle(&Controller::readAll);
            break;
        case Click::CloseWindow:
            fake.quit = true;
            break;
        }
    };

    controller.startUp();
    handle(&Controller::comTest);
    if (flags & kStartInsteadOfReadAll) {
        if (fake.isEnabled(Button::Command1))
            handle(&Controller::start);
        if (fake.isEnabled(Button::Command4))
            handle(&Controller::nextPage);
    } else if (fake.isEnabled(Button::Command3)) {
        handle(&Controller::readAll);
    }
    // The window stays open: whatever the input still has in flight arrives idle.
    while (!port.idle() && !fake.quit)
        window.pumpEvents();
    port.onClick = {};

    // To see what a crashing or seed input does: SPLICE_FUZZ_VERBOSE=1 session_fuzz FILE
    if (std::getenv("SPLICE_FUZZ_VERBOSE")) {
        for (const auto& shown : window.shown)
            std::fprintf(stderr, "shown: %s%s\n", shown.line.c_str(), shown.saveFailed ? "  (save error)" : "");
        for (const auto& message : fake.messages())
            std::fprintf(stderr, "message: %s\n", message.c_str());
        for (const auto& status : fake.statusHistory())
            std::fprintf(stderr, "status: %s\n", status.c_str());
        std::fprintf(stderr, "host wrote: %s\npumps: %ld\n", port.written.c_str(), fake.pumps());
    }

    std::string expected;
    for (const auto& shown : window.shown) {
        if (!shown.saveFailed)
            expected += shown.line + "\r\n";
    }
    const auto logged = savedBeforeBreak + contents(logPath);
    // libFuzzer ends without running atexit handlers: leave nothing behind.
    std::filesystem::remove_all(logDir());
    if (logged != expected)
        violated("the log is not the records shown without a save error\n--- log:\n" + logged +
                 "--- expected:\n" + expected);
}

}  // namespace
}  // namespace splicerec::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    splicerec::fuzz::runSession(data, size);
    return 0;
}
