#pragma once

#include <chrono>
#include <initializer_list>
#include <string>

#include "protocol/handler_context.h"

namespace splicerec {

class Waiter;

// "Start", "Next Page", "ReadAll" and "StopRead": request records one "n" at a time
// and wait for the record handler to take each one.
class PageReader {
public:
    static constexpr int kPageSize = 20;
    // At 2400 baud a frame takes 33 ms; an instrument silent this long is not answering.
    static constexpr std::chrono::milliseconds kRecordTimeout{3000};

    explicit PageReader(HandlerContext& context) : context_(context) {}

    void start();
    void nextPage();
    void readAll();
    void stopRead();

private:
    // One page of records; "Start" and "Next Page" differ only in the order they set
    // the buttons and in clearing the port first.
    void readPage(std::initializer_list<Button> disabled, bool clearBuffers,
                  std::initializer_list<Button> enabledAfter);
    void openIfClosed();
    // For the stopped box: how far the download got.
    std::string stoppedAfter() const;
    void requestRecord(Waiter& wait);

    HandlerContext& context_;
};

}  // namespace splicerec
