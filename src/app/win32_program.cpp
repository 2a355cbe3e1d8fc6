#include "app/win32_program.h"

#include <algorithm>

namespace splicerec {
namespace {

// An open COM port has no way to wake the window when bytes come, so the pump looks at
// it this often while nothing else wakes it: at rest, or while a box is up. A wait looks
// at every pump, far more often; at rest nobody waits for what comes, and each look costs
// a call into the driver (under Wine, a round trip to its server).
constexpr std::chrono::milliseconds kOpenPortPoll{100};

}  // namespace

Win32Program::DemoLine::DemoLine(const Clock& clock)
    : port(clock, [this](std::uint8_t byte) { return instrument.receive(byte); },
           {.deviceName = "the simulated splicer", .byteTime = sim::Instrument::kByteTimeAt2400})
{
}

Win32Program::Win32Program(HINSTANCE instance, const std::string& device, const std::string& logPath,
                           PortMemory* memory)
    : Win32Program(instance, std::make_unique<Win32SerialPort>(device), nullptr, logPath)
{
    if (memory) {
        picker_ = std::make_unique<PortPicker>(
            *device_, *memory,
            [this](const std::vector<PortOffer>& ports, const std::string& current) {
                return form1_.askForPort(ports, current);
            },
            comPortsPresent, device);
    }
}

Win32Program::Win32Program(HINSTANCE instance, Demo, const std::string& logPath)
    : Win32Program(instance, nullptr, std::make_unique<DemoLine>(clock_), logPath)
{
}

Win32Program::Win32Program(HINSTANCE instance, std::unique_ptr<Win32SerialPort> device, std::unique_ptr<DemoLine> demo,
                           const std::string& logPath)
    : device_(std::move(device)), demo_(std::move(demo)), port_(device_ ? static_cast<SerialPort&>(*device_) : demo_->port), log_(logPath),
      form1_(instance), controller_(form1_, port_, clock_, log_)
{
    form1_.setPortName(port_.deviceName());
    form1_.setLine(line());
    form1_.setSessionEnd([this] {
        try {
            log_.sync();
        } catch (const LogError&) {
            // Nobody is left to tell: the session is ending.
        }
    });
    form1_.setHandlers({
        .comTest =
            [this] {
                if (picker_ && !picker_->beforeLinkTest())
                    return;
                controller_.comTest();
                // The port looks for the adapter afresh at each open, so the tooltip follows it.
                form1_.setPortName(port_.deviceName());
            },
        .start = [this] { controller_.start(); },
        .nextPage = [this] { controller_.nextPage(); },
        .readAll = [this] { controller_.readAll(); },
        .stopRead = [this] { controller_.stopRead(); },
    });
    controller_.startUp();
}

Win32Form1::Line Win32Program::line()
{
    if (device_) {
        return {[this] { device_->poll(); },
                [this]() -> std::optional<std::chrono::milliseconds> {
                    if (!device_->isOpen())
                        return std::nullopt;
                    return kOpenPortPoll;
                }};
    }
    return {[this] { demo_->port.deliverDue(); },
            [this]() -> std::optional<std::chrono::milliseconds> {
                const auto due = demo_->port.nextDue();
                if (!due)
                    return std::nullopt;
                // Rounded up: a byte is never early.
                return std::max(std::chrono::ceil<std::chrono::milliseconds>(*due - clock_.now()),
                                std::chrono::milliseconds(0));
            }};
}

}  // namespace splicerec
