#include "support/fakes.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace splicerec::test {

// Declared in scenarios.h, which this file leaves out: C++ does not order the table (an
// inline variable) after the texts it is made of, and built here it came out of empty ones.
std::string noSuchFolder()
{
#ifdef _WIN32
    char text[256];
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                    ERROR_PATH_NOT_FOUND, 0, text, sizeof text, nullptr);
    // Without the line end and full stop, as the log quotes a reason inside its sentence.
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.'))
        --length;
    return {text, length};
#else
    return "No such file or directory";
#endif
}

std::string enabledButtons(const std::function<bool(Button)>& isEnabled)
{
    static constexpr std::pair<Button, const char*> kRow[] = {
        {Button::Command1, "Start"}, {Button::Command4, "Next Page"}, {Button::Command3, "ReadAll"},
        {Button::Command2, "StopRead"}};
    std::string text;
    for (const auto& [button, caption] : kRow)
        text += isEnabled(button) ? (text.empty() ? "" : ",") + std::string(caption) : "";
    return text;
}

void FakeWindow::showMessage(const std::string& text, const std::string& detail)
{
    messages.push_back(text);
    details.push_back(detail);
    if (whileMessageShown)
        whileMessageShown(text);
}

void FakeWindow::pumpEvents(bool input)
{
    const bool outer = std::exchange(userInput, userInput && input);
    ++pumps;
    clock.advance(std::chrono::milliseconds(1));
    for (std::size_t i = 0; i < pumpHooks.size(); ++i)
        pumpHooks[i]();
    userInput = outer;
}

void FakeSink::append(std::string_view line)
{
    if (failFrom > 0 && ++appends >= failFrom)
        throw LogError(vanishes ? "cannot open /fake/RECORD.txt: " + noSuchFolder()
                                : "cannot write /fake/RECORD.txt: No space left on device");
    lines.emplace_back(line);
}

void FakeSink::sync()
{
    syncFailed = vanishes && failFrom > 0 && appends >= failFrom;
    if (syncFailed)
        throw LogError("cannot open /fake/RECORD.txt: " + noSuchFolder());
    synced = lines.size();
}

void FakeSink::checkAppendable() const
{
    if (unappendable)
        throw LogError("cannot create /fake/RECORD.txt: " + noSuchFolder());
}

SimPort::SimPort(FakeWindow& window, FakeClock& clock, Peer peer, bool stalled)
    : InProcessPort(clock, std::move(peer), {.deviceName = "/dev/ttySIM0", .stalled = stalled})
{
    window.onPump([this] { deliverDue(); });
}

void SimPort::open()
{
    if (!openError.empty())
        throw PortError(std::exchange(openError, {}));
    InProcessPort::open();
}

}  // namespace splicerec::test
