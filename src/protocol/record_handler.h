#pragma once

#include "protocol/handler_context.h"

namespace splicerec {

// Runs on every receive notification: shows the record, logs it, and recognises the
// last record of the download.
class RecordHandler {
public:
    static constexpr int kRecordLimit = 5000;

    explicit RecordHandler(HandlerContext& context) : context_(context) {}

    void onReceive();

private:
    bool isLastRecord() const;
    void completeDownload();
    void reportSaveError(const std::string& reason);

    HandlerContext& context_;
};

}  // namespace splicerec
