#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/log_parser.h"

namespace splicerec::report {

// One splice of the report: a record line, once, however often it was downloaded.
struct Splice {
    LogRecord record;
    std::uint32_t copies = 1;   // how many lines said exactly this
    bool numberReused = false;  // another, different record has the same number
    bool aboveLimit = false;
};

// The flags column: "invalid_date", "number_reused", joined by ';' when both apply.
std::string flagsText(const Splice& splice);

struct Statistics {
    std::size_t count = 0;
    double meanDb = 0;
    double medianDb = 0;
    double maxDb = 0;
    std::size_t aboveLimit = 0;
    double aboveShare = 0;  // 0 to 1
};

struct SpliceReport {
    std::vector<std::string> files;
    std::vector<Splice> splices;  // in the order first read
    std::vector<BadLine> badLines;
    std::size_t linesRead = 0;  // record lines, duplicates included
    std::size_t duplicatesDropped = 0;
    std::size_t reusedNumbers = 0;  // record numbers held by more than one different record
    double maxLossDb = 0.10;
    Statistics statistics;
    std::optional<std::string> firstDateTime, lastDateTime;  // ISO, over valid dates only

    // Losses in hundredths, grouped in bins of `binHundredths`: bin i holds the losses
    // from histogramStart + i * width to histogramStart + (i + 1) * width - 1, split into
    // within and above the limit. The start is chosen so that a bin is all on one side.
    struct Bin {
        int within = 0;
        int above = 0;
    };
    int binHundredths = 1;
    int histogramStart = 0;  // zero or negative
    std::size_t histogramOverflow = 0;  // losses above histogramTop, all above the limit
    int histogramTop = 0;
    std::vector<Bin> histogram;
};

// A loss above `limitDb` (in dB; equal is within) is flagged above the limit.
bool isAbove(std::uint8_t lossHundredths, double limitDb);

SpliceReport buildReport(ParsedLogs logs, double maxLossDb);

}  // namespace splicerec::report
