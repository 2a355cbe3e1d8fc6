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
    for (const auto& [button, caption] : kRow) {
        if (isEnabled(button))
            text += (text.empty() ? "" : ",") + std::string(caption);
    }
    return text;
}

bool FakeWindow::isEnabled(Button button) const
{
    return enabled_.at(button);
}

std::string FakeWindow::buttons() const
{
    return enabledButtons([this](Button button) { return isEnabled(button); });
}

void FakeWindow::setStatusText(const std::string& text)
{
    status_ = text;
    statusHistory.push_back(text);
}

void FakeWindow::showMessage(const std::string& text, const std::string& detail)
{
    messages.push_back(text);
    details.push_back(detail);
    if (whileMessageShown)
        whileMessageShown(text);
}

void FakeWindow::pumpEvents()
{
    ++pumps;
    clock_.advance(std::chrono::milliseconds(1));
    for (std::size_t i = 0; i < pumpHooks_.size(); ++i)
        pumpHooks_[i]();
}

void FakeSink::append(std::string_view line)
{
    if (failFrom > 0 && ++appends >= failFrom)
        throw LogError("cannot write /fake/RECORD.txt: No space left on device");
    lines.emplace_back(line);
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
    failure_.clear();
    ++opens;
}

void SimPort::close()
{
    open_ = false;
    failure_.clear();
    pendingOutput_ = 0;
    input_.clear();
}

void SimPort::clearOutput()
{
    if (open_)
        pendingOutput_ = 0;
}

void SimPort::clearInput()
{
    if (open_)
        input_.clear();
}

void SimPort::write(std::string_view text)
{
    if (!open_)
        return;
    // A stalled line takes the bytes and never sends them.
    pendingOutput_ += static_cast<int>(text.size());
    if (stalled_)
        return;
    for (char c : text) {
        heard += c;
        for (auto& emission : peer_(static_cast<std::uint8_t>(c)))
            inFlight_.push_back({clock_.now() + emission.after, std::move(emission)});
    }
    std::stable_sort(inFlight_.begin(), inFlight_.end(),
                     [](const Pending& a, const Pending& b) { return a.due < b.due; });
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
    failure_ = "The connection to " + deviceName() + " was lost.";
}

std::vector<std::uint8_t> SimPort::takeInput()
{
    return open_ ? std::exchange(input_, {}) : std::vector<std::uint8_t>{};
}

void SimPort::deliverDue()
{
    // The bytes written leave at the next pump, as a short write does on a real port.
    if (open_ && !stalled_)
        pendingOutput_ = 0;
    bool arrived = false;
    while (!inFlight_.empty() && inFlight_.front().due <= clock_.now()) {
        auto pending = std::move(inFlight_.front());
        inFlight_.pop_front();
        if (pending.emission.hangUp) {
            hangUp();
        } else if (open_) {  // a closed port hears nothing
            input_.insert(input_.end(), pending.emission.bytes.begin(), pending.emission.bytes.end());
            arrived = true;
        }
    }
    if (arrived)
        raiseReceiveWhileFrameWaiting();
}

}  // namespace splicerec::test
