#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "protocol/handler_context.h"

namespace splicerec {

// Runs on every receive notification: takes the awaited record out of the bytes that
// came, shows it, logs it, and recognises the last record of the download.
class RecordHandler {
public:
    static constexpr int kRecordLimit = 5000;
    // Long enough for a USB adapter's latency timer to hand over what it holds.
    static constexpr std::chrono::milliseconds kQuietLine{50};
    static constexpr std::size_t kLongestReply = 64;

    explicit RecordHandler(HandlerContext& context) : context_(context) {}

    // The number of a download's last record: it reads the first kRecordLimit at most.
    static int lastNumber(const DownloadState& state) { return std::min(state.recordCount, kRecordLimit); }

    void onReceive();

private:
    std::vector<std::uint8_t> readUntilQuiet(std::vector<std::uint8_t> reply);
    void takeEveryAwaitedFrame(const std::vector<std::uint8_t>& reply);
    void take(const std::uint8_t* frame);
    void markMissing();
    void answeredOutOfPlace(int number);
    void catchUpTo(int number);
    void awaitAfter(int number);
    bool isLast(int number) const;
    void completeDownload();
    void reportSaveError(const std::string& reason);

    HandlerContext& context_;
};

}  // namespace splicerec
