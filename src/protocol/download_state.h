#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/clock.h"

namespace splicerec {

// The fields through which the handlers talk to each other, nested inside each
// other's waits. Flags are 0 or 1, as the handlers compare them.
struct DownloadState {
    int downloadDone = 0;
    int stopRequested = 0;
    int recordArrived = 0;
    // Set from a record request until its frame is taken or the wait ends; a frame at
    // any other time is late or noise and must not be logged as a record.
    int recordAwaited = 0;
    int pageFirstLine = 1;
    int recordCount = 0;
    // An empty slot matches no byte of the identification.
    std::array<std::optional<std::uint8_t>, 6> linkReply{};
    std::vector<std::uint8_t> inputBuffer;

    // Records arrive numbered 1, 2, 3, ... after a link test; this is the next one.
    int expectedNumber = 1;
    // The download's account, since it began at record 1: every number up to the last one
    // reached is logged, or named in one of these two. Missing: the reply was garbled or
    // numbered out of place. Out of order: named missing, then its frame came in place of
    // another's. Neither is in the log.
    std::vector<int> missingRecords;
    std::vector<int> outOfOrderRecords;
    // After a frame numbered out of place: the number the instrument sends next if that
    // frame was the one it meant, so its count and ours went apart. 0: none.
    int aheadNumber = 0;
    void startAccount()
    {
        missingRecords.clear();
        outOfOrderRecords.clear();
        aheadNumber = 0;
    }
    // Records this download appended to the log: since record 1 or the last link test.
    int recordsLogged = 0;
    // How long message boxes have been open, so that waits can leave it out.
    Clock::duration timeInBoxes{};

    // Bumped by every link test, so that a reader whose wait a link test ran inside
    // knows the instrument has been restarted under it.
    unsigned linkTestsStarted = 0;
};

}  // namespace splicerec
