#include "app/demo_line.h"

#include <algorithm>
#include <chrono>

namespace splicerec {

DemoLine::DemoLine()
    : port_(clock_, [this](std::uint8_t byte) { return instrument_.receive(byte); },
            {.deviceName = "the simulated splicer", .byteTime = sim::Instrument::kByteTimeAt2400})
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        port_.deliverDue();
        scheduleDelivery();
    });
    port_.onWrite([this] { scheduleDelivery(); });
}

void DemoLine::scheduleDelivery()
{
    const auto due = port_.nextDue();
    if (!due)
        return timer_.stop();
    // Qt's timers count whole milliseconds: rounded up, a byte is never early.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - clock_.now());
    timer_.start(std::max(wait, std::chrono::milliseconds(0)));
}

}  // namespace splicerec
