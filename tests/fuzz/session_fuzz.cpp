// The fuzz input plays the instrument (and a restless operator) through a whole session
// against the real controller on a fake clock. The session must end, every record shown
// must be in the log, in order, unless a save error was reported for it, and a handler
// interrupted by a newer link test must leave the line alone.
//
// Input: one flag byte (below), then entries taken one or more at a time each time the host
// writes a byte. An entry is a header byte and a delay byte (milliseconds):
//   00nnnnnn  the next n input bytes arrive after the delay; the last entry for this byte
//   01nnnnnn  the same, and another entry follows
//   10xxxxxx  the line drops after the delay (the port closes itself); the last entry
//   11xxxccc  the operator clicks button ccc % 6 (see press) after the delay; another follows
// An exhausted input is an instrument that has gone quiet.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
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

// Flag byte; a high nibble K > 0 breaks the log just before the K-th record shown is saved.
constexpr std::uint8_t kLogBrokenFromStart = 0x01, kStartInsteadOfReadAll = 0x02, kFirstOpenFails = 0x04;

// A port whose far end is the script. Like a real port it consumes what is read, hears
// nothing while closed, and raises the receive notification only through the base.
struct ScriptedPort final : SerialPort {
    ScriptedPort(FakeWindow& window, FakeClock& clock, const std::uint8_t* at, const std::uint8_t* end)
        : clock(clock), at(at), end(end)
    {
        window.onPump([this] { deliverDue(); });
    }
    void setSettings(const std::string&) override {}
    bool isOpen() const override { return open_; }
    void open() override
    {
        if (std::exchange(failNextOpen, false))
            throw PortError("cannot open " + deviceName() + ": Device or resource busy");
        open_ = true, failure_.clear();
    }
    void close() override { open_ = false, pendingOutput_ = 0, failure_.clear(), input_.clear(); }
    void clearOutput() override { pendingOutput_ = 0; }
    void clearInput() override { input_.clear(); }
    void write(std::string_view text) override
    {
        if (!open_)
            return;
        beforeWrite(text);
        pendingOutput_ += static_cast<int>(text.size());  // the bytes leave at the next pump
        for (std::size_t i = 0; i < text.size(); ++i) {
            for (bool more = true; more && at < end;) {  // the entries for this byte
                const std::uint8_t header = *at++, delay = at < end ? *at++ : 0;
                const std::size_t count = header >> 6 < 2 ? std::min<std::size_t>(header & 0x3F, end - at) : 0;
                events.emplace(clock.now() + std::chrono::milliseconds(delay),
                               std::pair(header, std::vector(at, at + count)));
                at += count;
                more = header & 0x40;
            }
        }
    }
    int pendingOutput() const override { return pendingOutput_; }
    int pendingInput() const override { return static_cast<int>(input_.size()); }
    std::string failure() const override { return failure_; }
    std::string deviceName() const override { return "/dev/ttyFUZZ0"; }
    std::vector<std::uint8_t> takeInput() override { return std::exchange(input_, {}); }

    // Runs at every pump, possibly nested inside a click it ran itself.
    void deliverDue()
    {
        if (open_)
            pendingOutput_ = 0;
        while (!events.empty() && events.begin()->first <= clock.now()) {
            const auto [header, bytes] = events.extract(events.begin()).mapped();
            if (header >> 6 == 3) {
                if (onClick)
                    onClick((header & 0x07) % 6);
            } else if (open_ && header >> 6 == 2) {
                open_ = false, input_.clear();
                failure_ = "The connection to " + deviceName() + " was lost.";
            } else if (open_) {
                input_.insert(input_.end(), bytes.begin(), bytes.end());
                raiseReceiveWhileFrameWaiting();
            }
        }
    }

    FakeClock& clock;
    const std::uint8_t *at, *end;
    std::multimap<Clock::TimePoint, std::pair<std::uint8_t, std::vector<std::uint8_t>>> events;  // in order due
    std::function<void(int)> onClick;
    std::function<void(std::string_view)> beforeWrite;
    bool failNextOpen = false, open_ = false;
    int pendingOutput_ = 0;
    std::vector<std::uint8_t> input_;
    std::string failure_;
};

// The fake window, plus a record of each line put in the text area and what followed it.
struct RecordingWindow final : WindowOps {
    RecordingWindow(FakeWindow& window, long pumpLimit) : window(window), pumpLimit(pumpLimit) {}
    void setEnabled(Button button, bool enabled) override { window.setEnabled(button, enabled); }
    void setStatusText(const std::string& text) override { window.setStatusText(text); }
    std::string statusText() const override { return window.statusText(); }
    std::string pageText() const override { return window.pageText(); }
    void setRecordCaption(const std::string& text) override { window.setRecordCaption(text); }
    std::string recordCaption() const override { return window.recordCaption(); }
    void showProgress(int received, int total) override { window.showProgress(received, total); }
    bool quitRequested() const override { return window.quitRequested(); }
    void setPageText(const std::string& text) override
    {
        window.setPageText(text);
        const auto lineStart = text.rfind("\r\n");
        shown.push_back({lineStart == std::string::npos ? text : text.substr(lineStart + 2), false});
        if (onShown)
            onShown(shown.size());
    }
    void showMessage(const std::string& text, const std::string& detail) override
    {
        if (text == "Unexpected error !")
            violated("a handler failed unexpectedly: " + detail);
        if (text == "RECORD SAVE ERROR !!") {  // it belongs to the line just shown, and to no other
            if (shown.empty() || shown.back().second)
                violated("a save error was reported without a record to go with it");
            shown.back().second = true;
        }
        window.showMessage(text, detail);
    }
    void pumpEvents() override
    {
        if (++pumps > pumpLimit)
            violated("the session did not end within " + std::to_string(pumpLimit) + " pumps");
        window.pumpEvents();
    }

    FakeWindow& window;
    long pumpLimit, pumps = 0;
    std::vector<std::pair<std::string, bool>> shown;  // each line shown, and whether its save failed
    std::function<void(std::size_t)> onShown;
};

std::string contents(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::filesystem::is_regular_file(path) ? std::string(std::istreambuf_iterator<char>(in), {}) : "";
}

void runSession(const std::uint8_t* data, std::size_t size)
{
    // A folder of this process's own, so that parallel jobs keep apart; in memory when the
    // system has a place for that, as every session creates the log anew.
    static const auto logDir = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path()) /
                               ("splice-fuzz-" + std::to_string(::getpid()));
    const auto logPath = logDir / "RECORD.txt";
    const auto breakLog = [&] { std::filesystem::remove_all(logPath), std::filesystem::create_directory(logPath); };
    const std::uint8_t flags = data[0];
    std::filesystem::remove_all(logDir);
    std::filesystem::create_directories(logDir);
    if (flags & kLogBrokenFromStart)
        breakLog();  // a folder where the log should be

    // Every host byte can cost at most one reply timeout (a few seconds) and consumes at
    // least one entry while the input lasts: far fewer pumps than this.
    FakeClock clock;
    FakeWindow fake(clock);
    RecordingWindow window(fake, 100'000 + 5'000 * static_cast<long>(size));
    ScriptedPort port(fake, clock, data + 1, data + size);
    Controller controller(window, port, clock, RecordLog(logPath));
    port.failNextOpen = (flags & kFirstOpenFails) != 0;
    // With nothing in flight a pump changes nothing but the time, so let time run faster
    // towards the deadlines: a timeout costs a few pumps instead of thousands.
    fake.onPump([&] {
        if (port.events.empty())
            clock.advance(std::chrono::milliseconds(499));
    });

    std::string savedBeforeBreak;
    if (const std::size_t breakAt = flags >> 4) {
        window.onShown = [&, breakAt](std::size_t count) {
            if (count == breakAt)
                savedBeforeBreak = contents(logPath), breakLog();
        };
    }
    // Handlers nest as clicks arrive inside waits. A link test that returns leaves the
    // handlers it interrupted superseded: none of them may touch the line again.
    int depth = 0, superseded = 0;  // handlers at `superseded` depth and below are superseded
    port.beforeWrite = [&](std::string_view text) {
        if (depth <= superseded)
            violated("a handler superseded by a newer link test wrote \"" + std::string(text) + "\"");
    };
    // Click codes: StopRead, Com Test (never disabled), Start, Next Page, ReadAll, close
    // the window. A click on a disabled button does nothing, as in the real window.
    const auto press = [&](int code) {
        static constexpr std::pair<Button, void (Controller::*)()> kButtons[] = {
            {Button::Command2, &Controller::stopRead}, {Button::Command1, &Controller::comTest},
            {Button::Command1, &Controller::start}, {Button::Command4, &Controller::nextPage},
            {Button::Command3, &Controller::readAll}};
        if (code == 5)
            fake.quit = true;
        else if (const auto [button, handler] = kButtons[code]; code == 1 || fake.isEnabled(button)) {
            ++depth;
            (controller.*handler)();
            --depth;
            superseded = handler == &Controller::comTest ? depth : std::min(superseded, depth);
        }
    };
    port.onClick = press;

    controller.startUp();
    for (int code : flags & kStartInsteadOfReadAll ? std::vector{1, 2, 3} : std::vector{1, 4})
        press(code);
    // The window stays open: whatever the input still has in flight arrives idle.
    while (!port.events.empty() && !fake.quit)
        window.pumpEvents();
    port.onClick = {};

    std::string expected;
    for (const auto& [line, saveFailed] : window.shown)
        if (!saveFailed)
            expected += line + "\r\n";
    const auto logged = savedBeforeBreak + contents(logPath);
    std::filesystem::remove_all(logDir);  // libFuzzer ends without running atexit handlers
    if (logged != expected)
        violated("the log is not the records shown without a save error\n--- log:\n" + logged + "--- expected:\n" +
                 expected);
}

}  // namespace
}  // namespace splicerec::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0)
        splicerec::fuzz::runSession(data, size);
    return 0;
}
