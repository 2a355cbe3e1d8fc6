#pragma once

#include <QString>
#include <string>
#include <memory>

#include "app/demo_line.h"
#include "app/port_picker.h"
#include "app/qt_port_memory.h"
#include "log/record_log.h"
#include "protocol/clock.h"
#include "protocol/controller.h"
#include "serial/qt_serial_port.h"
#include "window/form1.h"

namespace splicerec {

// The program's parts and their wiring: the window's clicks go to the handlers, the
// port's receive notification to the record handler, the records to the log file.
class Program {
public:
    // With `memory`, Com Test may first let the technician pick the port, and the pick is
    // kept there for the next start; without it the port is `device` (empty: the first adapter).
    Program(const std::string& device, const std::string& logPath, QSettings* memory = nullptr);
    // On the simulated splicer, in this process: the demo.
    struct Demo {};
    Program(Demo, const std::string& logPath);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Form1& window() { return form1_; }
    SerialPort& port() { return port_; }

private:
    Program(std::unique_ptr<QtSerialPort> device, std::unique_ptr<DemoLine> demo, const std::string& logPath);

    // One of the two is the port.
    std::unique_ptr<QtSerialPort> device_;
    std::unique_ptr<DemoLine> demo_;
    SerialPort& port_;
    SteadyClock clock_;
    RecordLog log_;
    Form1 form1_;
    std::unique_ptr<SettingsPortMemory> memory_;
    std::unique_ptr<PortPicker> picker_;
    // Last, so that it is gone before the window and the port it uses.
    Controller controller_;
};

}  // namespace splicerec
