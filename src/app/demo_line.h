#pragma once

#include <QTimer>

#include "in_process_port.h"
#include "instrument.h"
#include "protocol/clock.h"

namespace splicerec {

// The demo's splicer: the simulated instrument behind an in-process port, every byte
// paying its 4.17 ms on the wire both ways, delivered by a timer of the event loop. It
// needs no pseudo-terminal, so it runs wherever the program does.
class DemoLine {
public:
    DemoLine();
    DemoLine(const DemoLine&) = delete;
    DemoLine& operator=(const DemoLine&) = delete;

    SerialPort& port() { return port_; }

private:
    // The timer runs only while bytes are on their way: at rest the demo wakes nobody.
    void scheduleDelivery();

    SteadyClock clock_;
    sim::Instrument instrument_{{.paced = true}};
    sim::InProcessPort port_;
    QTimer timer_;
};

}  // namespace splicerec
