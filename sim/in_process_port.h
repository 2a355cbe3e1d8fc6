#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "instrument.h"
#include "protocol/clock.h"
#include "protocol/serial_port.h"

namespace splicerec::sim {

// A serial port whose far end lives in this process: the simulated instrument, for the
// demo and the fake-time tests, or a fuzzer's script. Each byte written reaches the peer
// once its time on the wire has passed; the peer's replies land in the input buffer when
// due. Nothing moves by itself: the owner calls deliverDue() when nextDue() comes, from
// a timer in a program or at every pump in fake time. A closed port hears nothing and
// keeps the SerialPort contract.
class InProcessPort : public SerialPort {
public:
    using Peer = std::function<std::vector<Emission>(std::uint8_t)>;
    struct Line {
        std::string deviceName;
        std::chrono::microseconds byteTime{0};  // each byte's time on the wire to the peer
        bool stalled = false;                  // takes what is written and never sends it
    };

    InProcessPort(const Clock& clock, Peer peer, Line line);

    void setSettings(const std::string&) override {}
    bool isOpen() const override { return open_; }
    void open() override;
    void close() override;
    void clearOutput() override { outgoing_.clear(); }
    void clearInput() override { input_.clear(); }
    void write(std::string_view text) override;
    int pendingOutput() const override { return static_cast<int>(outgoing_.size()); }
    int pendingInput() const override { return static_cast<int>(input_.size()); }
    std::optional<PortError> failure() const override { return failure_; }
    std::string deviceName() const override { return line_.deviceName; }

    // Sends what the wire has carried to the peer and takes in the replies that are due,
    // then raises the receive notification.
    void deliverDue();
    // When deliverDue() has something to do next; none while nothing is on its way.
    std::optional<Clock::TimePoint> nextDue() const;
    // Called after every write, so that the owner can move its timer to nextDue().
    void onWrite(std::function<void()> hook) { onWrite_ = std::move(hook); }

    // Bytes that turn up from the line at once, as noise or a stray frame would.
    void inject(const std::vector<std::uint8_t>& bytes);
    // The device goes away, as an unplugged adapter does.
    void hangUp();
    // Whether bytes are on their way in either direction, on a line that moves.
    bool replying() const { return !incoming_.empty() || (!line_.stalled && !outgoing_.empty()); }
    // Every byte the peer has received.
    const std::string& heard() const { return heard_; }

protected:
    std::vector<std::uint8_t> takeInput() override { return std::exchange(input_, {}); }

private:
    const Clock& clock_;
    Peer peer_;
    Line line_;
    std::deque<std::pair<Clock::TimePoint, std::uint8_t>> outgoing_;  // each byte and when it reaches the peer
    std::deque<std::pair<Clock::TimePoint, Emission>> incoming_;  // each reply piece and when its last byte lands
    Clock::TimePoint incomingLineFreeAt_{};
    std::vector<std::uint8_t> input_;
    std::optional<PortError> failure_;
    std::function<void()> onWrite_;
    std::string heard_;
    bool open_ = false;
};

}  // namespace splicerec::sim
