#include "support/sim_port.h"

#include <algorithm>
#include <utility>

namespace splicerec::test {

SimPort::SimPort(FakeWindow& window, FakeClock& clock, sim::Behaviour behaviour)
    : clock_(clock), instrument_(behaviour)
{
    window.onPump([this] { deliverDue(); });
}

void SimPort::open()
{
    if (!openError.empty())
        throw PortError(openError);
    open_ = true;
    failure_.clear();
    ++opens_;
}

void SimPort::close()
{
    open_ = false;
    failure_.clear();
    pendingOutput_ = 0;
}

void SimPort::write(std::string_view text)
{
    if (!open_)
        return;
    written_ += text;
    // The bytes leave at the next pump, as a one-byte write does on a real port.
    pendingOutput_ += static_cast<int>(text.size());
    for (char c : text) {
        for (auto& emission : instrument_.receive(static_cast<std::uint8_t>(c)))
            inFlight_.push_back({clock_.now() + emission.after, std::move(emission)});
    }
    std::stable_sort(inFlight_.begin(), inFlight_.end(),
                     [](const Pending& a, const Pending& b) { return a.due < b.due; });
}

void SimPort::inject(const std::vector<std::uint8_t>& bytes)
{
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    raiseReceiveWhileFrameWaiting();
}

void SimPort::fail(const std::string& reason)
{
    open_ = false;
    failure_ = reason;
}

std::vector<std::uint8_t> SimPort::takeInput()
{
    return std::exchange(input_, {});
}

void SimPort::deliverDue()
{
    if (open_)
        pendingOutput_ = 0;
    bool arrived = false;
    while (!inFlight_.empty() && inFlight_.front().due <= clock_.now()) {
        auto pending = std::move(inFlight_.front());
        inFlight_.pop_front();
        if (pending.emission.hangUp) {
            fail("The connection to " + deviceName() + " was lost.");
            continue;
        }
        if (open_) {  // a closed port hears nothing
            input_.insert(input_.end(), pending.emission.bytes.begin(), pending.emission.bytes.end());
            arrived = true;
        }
    }
    if (arrived)
        raiseReceiveWhileFrameWaiting();
}

}  // namespace splicerec::test
