#pragma once

#include <string>

#include "log/record_sink.h"
#include "protocol/clock.h"
#include "protocol/download_state.h"
#include "protocol/serial_port.h"
#include "protocol/window_ops.h"

namespace splicerec {

// What every handler works with; owned by the controller, borrowed by the handlers.
struct HandlerContext {
    WindowOps& window;
    SerialPort& port;
    DownloadState& state;
    const Clock& clock;
    RecordSink& log;

    // A message box; the time it stays open counts against no wait's deadline.
    void showMessage(const std::string& text, const std::string& detail = {});
    // The end of a download, however it ended, in a box: the log goes to the disk first,
    // and the records a garbled line kept out of it are named in the detail and the
    // status line, so that the technician knows a new download must bring them back.
    void announceEnd(const std::string& text, std::string detail = {});
    // The same for an end without a box: a page read, a quit.
    void endQuietly();
};

inline void disableLowerButtons(WindowOps& window)
{
    for (auto button : {Button::Command4, Button::Command2, Button::Command3, Button::Command1})
        window.setEnabled(button, false);
}

}  // namespace splicerec
