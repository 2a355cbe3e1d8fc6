#include "protocol/record_handler.h"

#include "protocol/record_line.h"
#include "protocol/waits.h"

namespace splicerec {
namespace {

int numberOf(const std::uint8_t* frame) { return frame[0] << 8 | frame[1]; }  // bytes 0-1, big-endian

}  // namespace

void RecordHandler::onReceive()
{
    auto& state = context_.state;
    auto reply = context_.port.readInput();
    if (reply.size() < RecordLine::kFrameSize)
        return;  // a fragment is never taken for a record
    if (state.recordAwaited == 0)
        return;  // unasked for: a reply after its deadline, or noise during the link test
    if (numberOf(reply.data()) != state.expectedNumber) {
        // Not the record asked for: a stray byte before it, a stray frame, or a garbled
        // line. Only the whole reply can tell, so read until the line is quiet.
        reply = readUntilQuiet(std::move(reply));
        const auto* last = reply.data() + reply.size() - RecordLine::kFrameSize;
        const int number = numberOf(reply.data());
        if (reply.size() > RecordLine::kFrameSize && numberOf(last) == state.expectedNumber)
            reply.erase(reply.begin(), reply.begin() + (last - reply.data()));
        else if (reply.size() != RecordLine::kFrameSize)  // exactly one frame: the instrument numbers so
            return markMissing();
        else if (number < 1 || number > lastNumber(state))
            return;  // no record of this download, but noise: the one awaited may still come
        else if (number != state.aheadNumber)
            return answeredOutOfPlace(number);
        else
            catchUpTo(number);
    }
    takeEveryAwaitedFrame(reply);
}

// One answer may carry the next record too, as when the instrument sends ahead: each
// whole frame that follows with the number then awaited is taken as well.
void RecordHandler::takeEveryAwaitedFrame(const std::vector<std::uint8_t>& reply)
{
    take(reply.data());
    for (std::size_t at = RecordLine::kFrameSize; at + RecordLine::kFrameSize <= reply.size() &&
                                                  context_.port.isOpen() &&
                                                  numberOf(reply.data() + at) == context_.state.expectedNumber;
         at += RecordLine::kFrameSize)
        take(reply.data() + at);
}

std::vector<std::uint8_t> RecordHandler::readUntilQuiet(std::vector<std::uint8_t> reply)
{
    auto& port = context_.port;
    Waiter wait(context_, false);
    // A wait's last look before its deadline also takes in what came while the program
    // was stalled, so a stall is never taken for a quiet line. A line that never falls
    // quiet is noise, and a reply that long is no record.
    while (reply.size() <= kLongestReply && wait.until([&] { return port.pendingInput() > 0; }, wait.after(kQuietLine))) {
        const auto more = port.readInput();
        reply.insert(reply.end(), more.begin(), more.end());
    }
    return reply;
}

void RecordHandler::take(const std::uint8_t* frame)
{
    auto& window = context_.window;
    auto& state = context_.state;
    state.recordAwaited = 0;
    state.aheadNumber = 0;
    const auto line = RecordLine::fromFrame({frame, RecordLine::kFrameSize});
    const int number = numberOf(frame);
    awaitAfter(number);
    window.setRecordCaption(line.text);
    if (state.pageFirstLine == 1) {
        window.setPageText(window.recordCaption());
        state.pageFirstLine = 0;
    } else {
        window.setPageText(window.pageText() + "\r\n" + window.recordCaption());
    }
    state.recordArrived = 1;
    window.showProgress(number, lastNumber(state));

    try {
        context_.log.append(window.recordCaption());
    } catch (const std::exception& error) {
        return reportSaveError(error.what());
    }
    // The instrument numbers each download from 1 again.
    state.recordsLogged = number == 1 ? 1 : state.recordsLogged + 1;
    if (isLast(number))
        completeDownload();
}

// The request was answered, but with nothing that can be told apart from noise: the
// download goes on without it, and its end says the record is missing.
void RecordHandler::markMissing()
{
    auto& state = context_.state;
    const int number = state.expectedNumber;
    awaitAfter(number);
    state.aheadNumber = 0;
    state.missingRecords.push_back(number);
    state.recordAwaited = 0;
    state.recordArrived = 1;
    if (isLast(number))
        completeDownload();
}

// A whole frame of this download, but numbered other than the record asked for: a bit
// flipped in its number, or the instrument's count and ours went apart. Logged under its
// number it could log a record twice or end the download early, so the record asked for
// is named missing, and the number that follows it is kept in case the instrument is
// ahead. A number already named missing has now come, out of order.
void RecordHandler::answeredOutOfPlace(int number)
{
    auto& state = context_.state;
    auto& missing = state.missingRecords;
    if (const auto named = std::find(missing.begin(), missing.end(), number); named != missing.end()) {
        missing.erase(named);
        state.outOfOrderRecords.push_back(number);
    }
    markMissing();
    const bool ended = state.expectedNumber == 1;
    state.aheadNumber = !ended && number + 1 > state.expectedNumber && number + 1 <= lastNumber(state) ? number + 1 : 0;
}

// The instrument is ahead of us: the frame before this one was its own, so the records
// it skipped will not come, and the download goes on from here.
void RecordHandler::catchUpTo(int number)
{
    auto& state = context_.state;
    for (int skipped = state.expectedNumber; skipped < number; ++skipped)
        state.missingRecords.push_back(skipped);
    state.expectedNumber = number;
}

// After the last record the instrument starts over at the first, and so does a download
// begun after it: awaiting a number past the last would take no record ever again.
void RecordHandler::awaitAfter(int number)
{
    context_.state.expectedNumber = isLast(number) ? 1 : number + 1;
}

bool RecordHandler::isLast(int number) const { return number == lastNumber(context_.state); }

void RecordHandler::completeDownload()
{
    context_.state.recordArrived = 0;
    // Completion is announced only once the records are on the disk.
    try {
        context_.log.sync();
    } catch (const LogError& error) {
        return reportSaveError(error.what());
    }
    const int logged = context_.state.recordsLogged;
    context_.announceEnd("RECORD DOWNLOAD COMPLETE !", std::to_string(logged) + (logged == 1 ? " record" : " records") +
                                                           " appended to " + context_.log.location() + ".");
    context_.state.downloadDone = 1;
    if (context_.port.isOpen())
        context_.port.close();
}

void RecordHandler::reportSaveError(const std::string& reason)
{
    context_.state.recordArrived = 0;
    context_.window.setStatusText("Records not saved: " + reason);
    context_.announceEnd("RECORD SAVE ERROR !!", reason);
    if (context_.port.isOpen())
        context_.port.close();
    context_.window.setEnabled(Button::Command1, true);
}

}  // namespace splicerec
