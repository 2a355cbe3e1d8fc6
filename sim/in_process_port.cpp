#include "in_process_port.h"

#include <algorithm>

namespace splicerec::sim {

InProcessPort::InProcessPort(const Clock& clock, Peer peer, Line line)
    : clock_(clock), peer_(std::move(peer)), line_(std::move(line))
{
}

void InProcessPort::open()
{
    open_ = true;
    failure_.reset();
}

void InProcessPort::close()
{
    open_ = false;
    failure_.reset();
    outgoing_.clear();
    input_.clear();
}

void InProcessPort::write(std::string_view text)
{
    if (!open_)
        return;
    // One byte after another: each waits for the one before it to be off the wire.
    auto at = std::max(clock_.now(), outgoing_.empty() ? clock_.now() : outgoing_.back().first);
    for (char c : text)
        outgoing_.emplace_back(at += line_.byteTime, static_cast<std::uint8_t>(c));
    if (onWrite_)
        onWrite_();
}

std::optional<Clock::TimePoint> InProcessPort::nextDue() const
{
    std::optional<Clock::TimePoint> next;
    if (!line_.stalled && !outgoing_.empty())
        next = outgoing_.front().first;
    if (!incoming_.empty() && (!next || incoming_.front().first < *next))
        next = incoming_.front().first;
    return next;
}

void InProcessPort::deliverDue()
{
    const auto now = clock_.now();
    bool sent = false;
    while (!line_.stalled && !outgoing_.empty() && outgoing_.front().first <= now) {
        const auto [arrived, byte] = outgoing_.front();
        outgoing_.pop_front();
        heard_ += static_cast<char>(byte);
        auto emissions = peer_(byte);
        std::stable_sort(emissions.begin(), emissions.end(), [](auto& a, auto& b) { return a.after < b.after; });
        for (auto& emission : emissions) {
            auto due = arrived + emission.after;
            if (line_.byteTime > decltype(line_.byteTime)::zero()) {
                // The line back carries one byte at a time: a reply follows the last one sent.
                const auto wire = line_.byteTime * static_cast<long>(emission.bytes.size());
                due = incomingLineFreeAt_ = std::max(due, incomingLineFreeAt_ + wire);
            }
            incoming_.emplace_back(due, std::move(emission));
        }
        sent = true;
    }
    // Replies to different bytes may interleave: a late one is overtaken.
    if (sent)
        std::stable_sort(incoming_.begin(), incoming_.end(), [](auto& a, auto& b) { return a.first < b.first; });
    bool arrived = false;
    while (!incoming_.empty() && incoming_.front().first <= now) {
        auto emission = std::move(incoming_.front().second);
        incoming_.pop_front();
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

void InProcessPort::inject(const std::vector<std::uint8_t>& bytes)
{
    if (!open_)
        return;
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    raiseReceiveWhileFrameWaiting();
}

void InProcessPort::hangUp()
{
    if (!open_)
        return;
    close();
    failure_ = PortError("The connection to " + deviceName() + " was lost.", "System message: Input/output error");
}

}  // namespace splicerec::sim
