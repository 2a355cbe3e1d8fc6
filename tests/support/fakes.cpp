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
        throw LogError("cannot write /fake/RECORD.txt: No space left on device");
    lines.emplace_back(line);
}

void FakeSink::checkAppendable() const
{
    if (unappendable)
        throw LogError("cannot create /fake/RECORD.txt: No such file or directory");
}

SimPort::SimPort(FakeWindow& window, FakeClock& clock, Peer peer, bool stalled)
    : clock_(clock), peer_(std::move(peer)), stalled_(stalled)
{
    window.onPump([this] { deliverDue(); });
}

void SimPort::open()
{
    if (!openError.empty())
        throw PortError(std::exchange(openError, {}));
    open_ = true;
    failure_.reset();
}

void SimPort::close()
{
    open_ = false;
    failure_.reset();
    pendingOutput_ = 0;
    input_.clear();
}

void SimPort::write(std::string_view text)
{
    if (!open_)
        return;
    pendingOutput_ += static_cast<int>(text.size());
    if (stalled_)
        return;  // the line takes the bytes and never sends them
    for (char c : text) {
        heard += c;
        for (auto& emission : peer_(static_cast<std::uint8_t>(c)))
            inFlight_.emplace_back(clock_.now() + emission.after, std::move(emission));
    }
    std::stable_sort(inFlight_.begin(), inFlight_.end(), [](auto& a, auto& b) { return a.first < b.first; });
}

void SimPort::inject(const std::vector<std::uint8_t>& bytes)
{
    if (!open_)
        return;
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    raiseReceiveWhileFrameWaiting();
}

void SimPort::hangUp()
{
    if (!open_)
        return;
    close();
    failure_ = PortError("The connection to " + deviceName() + " was lost.", "System message: Input/output error");
}

std::vector<std::uint8_t> SimPort::takeInput()
{
    return std::exchange(input_, {});
}

void SimPort::deliverDue()
{
    // What was written leaves at the next pump, as a short write does on a real port.
    if (!stalled_)
        pendingOutput_ = 0;
    bool arrived = false;
    while (!inFlight_.empty() && inFlight_.front().first <= clock_.now()) {
        auto emission = std::move(inFlight_.front().second);
        inFlight_.pop_front();
        if (emission.hangUp) {
            hangUp();
        } else if (open_) {  // a closed port hears nothing
            input_.insert(input_.end(), emission.bytes.begin(), emission.bytes.end());
            arrived = true;
        }
    }
    if (arrived)
        raiseReceiveWhileFrameWaiting();
}

}  // namespace splicerec::test
