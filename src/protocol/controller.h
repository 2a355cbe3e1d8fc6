#pragma once

#include "protocol/handler_context.h"
#include "protocol/link_test.h"
#include "protocol/page_reader.h"
#include "protocol/record_handler.h"

namespace splicerec {

// The window's event handlers, free of any window system: whoever owns the window
// connects its clicks here, and startUp() subscribes to the port's receive
// notification. No exception leaves a handler.
class Controller {
public:
    static constexpr const char* kLineSettings = "2400,n,8,1";

    Controller(WindowOps& window, SerialPort& port, const Clock& clock, RecordSink& log);
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    void startUp();

    void comTest();   // Command5
    void start();     // Command1
    void nextPage();  // Command4
    void readAll();   // Command3
    void stopRead();  // Command2
    void receive();   // MSComm1 receive notification

    const DownloadState& state() const { return state_; }

private:
    template <typename Handler>
    void guarded(Handler handler);
    // The status line names the cause; the box says it whole.
    void reportLinkLost(const std::string& status, const std::string& message, const std::string& detail = {});

    DownloadState state_;
    HandlerContext context_;
    LinkTest linkTest_{context_};
    PageReader reader_{context_};
    RecordHandler recordHandler_{context_};
};

}  // namespace splicerec
