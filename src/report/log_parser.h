#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace splicerec::report {

// One record line as read back from the log. The date and time are the bytes the
// instrument sent (BCD when valid), recovered from their hexadecimal text, so that a
// line with a bad date is kept exactly as the instrument had it.
struct LogRecord {
    std::uint16_t number = 0;
    std::uint8_t year = 0;  // within the century: the line says "20" and then this byte
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t lossHundredths = 0;
    bool validDate = false;  // BCD digits that make a real date and time
    std::uint32_t file = 0;  // index into the list of logs read
    std::uint32_t line = 0;  // 1-based

    // Everything a download repeats exactly: two lines with the same key are one splice.
    std::uint64_t key() const;
};

// "2002-12-19T15:27"; a byte that is not BCD keeps its hexadecimal text ("2002-1A-19T15:27").
std::string isoDateTime(const LogRecord& record);

// Parses one line without its terminator; nothing when it is not a record line.
// Both loss forms are read: "1.50" and the older "0.150" (hundredths of 100 or more
// written after "0.") give 150 hundredths.
std::optional<LogRecord> parseRecordLine(std::string_view line);

struct BadLine {
    std::uint32_t file = 0;
    std::uint32_t line = 0;
    std::string text;
};

struct ParsedLogs {
    std::vector<std::string> files;  // as named on the command line
    std::vector<LogRecord> records;  // in the order read
    std::vector<BadLine> badLines;
};

// Appends the records of one log's content to `logs`. Lines end in LF or CR LF; the
// last one may have no terminator. With `stopAtBad`, the first line that is not a
// record line ends the parse: it is appended to badLines and false is returned.
bool parseLog(std::string_view content, std::string fileName, bool stopAtBad, ParsedLogs& logs);

// The line for a message: at most 100 characters, control bytes and non-ASCII as \xHH.
std::string printableLine(std::string_view text);

}  // namespace splicerec::report
