#pragma once

#include <deque>
#include <string>

#include "instrument.h"
#include "serial/serial_port.h"
#include "support/fake_window.h"

namespace splicerec::test {

// A port whose far end is the simulated instrument, on the fake clock. Bytes written
// reach the instrument at once; its replies land in the input buffer when their time
// has come and the window pumps.
class SimPort final : public SerialPort {
public:
    SimPort(FakeWindow& window, FakeClock& clock, sim::Behaviour behaviour = {});

    void setSettings(const std::string&) override {}
    bool isOpen() const override { return open_; }
    void open() override;
    void close() override;
    void clearOutput() override { pendingOutput_ = 0; }
    void clearInput() override { input_.clear(); }
    void write(std::string_view text) override;
    int pendingOutput() const override { return pendingOutput_; }
    int pendingInput() const override { return static_cast<int>(input_.size()); }
    std::string failure() const override { return failure_; }
    std::string deviceName() const override { return "/dev/ttySIM0"; }

    // Bytes that turn up from the line at once, as if the instrument had sent them.
    void inject(const std::vector<std::uint8_t>& bytes);
    // The device goes away, as an unplugged adapter does.
    void fail(const std::string& reason);

    std::string openError;  // when set, open() fails with it
    const std::string& written() const { return written_; }
    int opens() const { return opens_; }
    sim::Instrument& instrument() { return instrument_; }

protected:
    std::vector<std::uint8_t> takeInput() override;

private:
    struct Pending {
        Clock::TimePoint due;
        sim::Emission emission;
    };
    void deliverDue();

    FakeClock& clock_;
    sim::Instrument instrument_;
    std::deque<Pending> inFlight_;
    std::vector<std::uint8_t> input_;
    std::string written_, failure_;
    int pendingOutput_ = 0;
    int opens_ = 0;
    bool open_ = false;
};

}  // namespace splicerec::test
