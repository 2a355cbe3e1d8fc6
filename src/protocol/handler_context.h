#pragma once

#include "log/record_sink.h"
#include "protocol/clock.h"
#include "protocol/download_state.h"
#include "serial/serial_port.h"
#include "window/window_ops.h"

namespace splicerec {

// What every handler works with; owned by the controller, borrowed by the handlers.
struct HandlerContext {
    WindowOps& window;
    SerialPort& port;
    DownloadState& state;
    const Clock& clock;
    RecordSink& log;
};

inline void disableLowerButtons(WindowOps& window)
{
    for (auto button : {Button::Command4, Button::Command2, Button::Command3, Button::Command1})
        window.setEnabled(button, false);
}

}  // namespace splicerec
