#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "in_process_port.h"
#include "instrument.h"
#include "app/port_picker.h"
#include "app/win32_port_memory.h"
#include "log/record_log.h"
#include "protocol/clock.h"
#include "protocol/controller.h"
#include "serial/win32_serial_port.h"
#include "window/win32_form1.h"

namespace splicerec {

// The Windows program's parts and their wiring, as the Qt program has them: the window's
// clicks go to the handlers, the pump keeps the line moving and raises the receive
// notification, the records go to the log file.
class Win32Program {
public:
    // On the COM port `device` (empty: the first USB adapter, else COM1, looked for at each
    // open). With `memory`, Com Test may first let the technician pick the port, and the
    // pick is kept there for the next start.
    Win32Program(HINSTANCE instance, const std::string& device, const std::string& logPath,
                 PortMemory* memory = nullptr);
    // On the simulated splicer, in this process: the demo.
    struct Demo {};
    Win32Program(HINSTANCE instance, Demo, const std::string& logPath);
    Win32Program(const Win32Program&) = delete;
    Win32Program& operator=(const Win32Program&) = delete;

    Win32Form1& window() { return form1_; }
    SerialPort& port() { return port_; }

private:
    // The demo's splicer: every byte pays its 4.17 ms on the wire both ways, and the pump
    // delivers the replies when they are due.
    struct DemoLine {
        explicit DemoLine(const Clock& clock);
        sim::Instrument instrument{{.paced = true}};
        sim::InProcessPort port;
    };

    Win32Program(HINSTANCE instance, std::unique_ptr<Win32SerialPort> device, std::unique_ptr<DemoLine> demo,
                 const std::string& logPath);
    Win32Form1::Line line();

    SteadyClock clock_;
    // One of the two is the port.
    std::unique_ptr<Win32SerialPort> device_;
    std::unique_ptr<DemoLine> demo_;
    SerialPort& port_;
    RecordLog log_;
    Win32Form1 form1_;
    std::unique_ptr<PortPicker> picker_;
    // Last, so that it is gone before the window and the port it uses.
    Controller controller_;
};

}  // namespace splicerec
