#include "report/log_parser.h"

#include <cstdio>

namespace splicerec::report {
namespace {

// Positions in "NO 00001: 2002-12-19 15:27   LOSS:0.06dB".
constexpr std::string_view kPrefix = "NO ";
constexpr std::size_t kNumber = 3;
constexpr std::string_view kCentury = ": 20";
constexpr std::size_t kYear = 12, kMonth = 15, kDay = 18, kHour = 21, kMinute = 24;
constexpr std::string_view kLossLabel = "   LOSS:";
constexpr std::size_t kLoss = 34;
constexpr std::string_view kUnit = "dB";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The log writes date bytes as capital hexadecimal, two characters.
int hexDigit(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool readByte(std::string_view line, std::size_t at, std::uint8_t& byte)
{
    const int high = hexDigit(line[at]), low = hexDigit(line[at + 1]);
    if (high < 0 || low < 0)
        return false;
    byte = static_cast<std::uint8_t>(high << 4 | low);
    return true;
}

// The decimal value of a BCD byte, or -1 when a nibble is above 9.
int bcdValue(std::uint8_t byte)
{
    const int high = byte >> 4, low = byte & 0x0F;
    return high > 9 || low > 9 ? -1 : high * 10 + low;
}

bool isRealDate(const LogRecord& r)
{
    const int year = bcdValue(r.year), month = bcdValue(r.month), day = bcdValue(r.day);
    const int hour = bcdValue(r.hour), minute = bcdValue(r.minute);
    if (year < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int fullYear = 2000 + year;
    const bool leap = (fullYear % 4 == 0 && fullYear % 100 != 0) || fullYear % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// "d.dd" (0.00 to 2.55), or the older "0.ddd" for 100 to 255 hundredths. The older
// form padded to two digits only, so three digits after "0." always mean 100 or more.
bool readLoss(std::string_view loss, std::uint8_t& hundredths)
{
    int value = -1;
    if (loss.size() == 4 && isDigit(loss[0]) && loss[1] == '.' && isDigit(loss[2]) && isDigit(loss[3]))
        value = (loss[0] - '0') * 100 + (loss[2] - '0') * 10 + (loss[3] - '0');
    else if (loss.size() == 5 && loss[0] == '0' && loss[1] == '.' && isDigit(loss[2]) && isDigit(loss[3]) &&
             isDigit(loss[4])) {
        value = (loss[2] - '0') * 100 + (loss[3] - '0') * 10 + (loss[4] - '0');
        if (value < 100)
            return false;
    }
    if (value < 0 || value > 255)
        return false;
    hundredths = static_cast<std::uint8_t>(value);
    return true;
}

}  // namespace

std::uint64_t LogRecord::key() const
{
    return std::uint64_t{number} << 48 | std::uint64_t{year} << 40 | std::uint64_t{month} << 32 |
           std::uint64_t{day} << 24 | std::uint64_t{hour} << 16 | std::uint64_t{minute} << 8 | lossHundredths;
}

std::string isoDateTime(const LogRecord& r)
{
    char text[20];
    std::snprintf(text, sizeof text, "20%02X-%02X-%02XT%02X:%02X", r.year, r.month, r.day, r.hour, r.minute);
    return text;
}

std::optional<LogRecord> parseRecordLine(std::string_view line)
{
    if (line.size() < kLoss + 4 + kUnit.size() || line.substr(0, kPrefix.size()) != kPrefix ||
        line.substr(kNumber + 5, kCentury.size()) != kCentury || line[kMonth - 1] != '-' ||
        line[kDay - 1] != '-' || line[kHour - 1] != ' ' || line[kMinute - 1] != ':' ||
        line.substr(kMinute + 2, kLossLabel.size()) != kLossLabel ||
        line.substr(line.size() - kUnit.size()) != kUnit)
        return std::nullopt;

    LogRecord r;
    unsigned number = 0;
    for (std::size_t i = kNumber; i < kNumber + 5; ++i) {
        if (!isDigit(line[i]))
            return std::nullopt;
        number = number * 10 + static_cast<unsigned>(line[i] - '0');
    }
    if (number > 65535)
        return std::nullopt;
    r.number = static_cast<std::uint16_t>(number);

    if (!readByte(line, kYear, r.year) || !readByte(line, kMonth, r.month) || !readByte(line, kDay, r.day) ||
        !readByte(line, kHour, r.hour) || !readByte(line, kMinute, r.minute))
        return std::nullopt;
    if (!readLoss(line.substr(kLoss, line.size() - kLoss - kUnit.size()), r.lossHundredths))
        return std::nullopt;
    r.validDate = isRealDate(r);
    return r;
}

bool parseLog(std::string_view content, std::string fileName, bool stopAtBad, ParsedLogs& logs)
{
    const auto file = static_cast<std::uint32_t>(logs.files.size());
    logs.files.push_back(std::move(fileName));
    std::uint32_t lineNumber = 0;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? content.size() : end + 1;
        if (end == std::string_view::npos)
            end = content.size();
        if (end > start && content[end - 1] == '\r')
            --end;
        const std::string_view text = content.substr(start, end - start);
        start = next;
        ++lineNumber;

        if (auto record = parseRecordLine(text)) {
            record->file = file;
            record->line = lineNumber;
            logs.records.push_back(*record);
            continue;
        }
        logs.badLines.push_back({file, lineNumber, std::string(text)});
        if (stopAtBad)
            return false;
    }
    return true;
}

std::string printableLine(std::string_view text)
{
    constexpr std::size_t kMax = 100;
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < kMax; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c >= 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.size() > kMax)
        out += "...";
    return out;
}

}  // namespace splicerec::report
