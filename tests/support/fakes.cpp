#include "support/fakes.h"

#include <algorithm>
#include <utility>

namespace splicerec::test {

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
        throw LogError(vanishes ? "cannot open /fake/RECORD.txt: No such file or directory"
                                : "cannot write /fake/RECORD.txt: No space left on device");
    lines.emplace_back(line);
}

void FakeSink::sync()
{
    syncFailed = vanishes && failFrom > 0 && appends >= failFrom;
    if (syncFailed)
        throw LogError("cannot open /fake/RECORD.txt: No such file or directory");
    synced = lines.size();
}

void FakeSink::checkAppendable() const
{
    if (unappendable)
        throw LogError("cannot create /fake/RECORD.txt: No such file or directory");
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
