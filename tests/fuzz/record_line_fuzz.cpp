// Arbitrary bytes as a record frame: the line that goes to the window and the log must
// keep its shape and read back to the bytes it came from, whatever the instrument sent.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <stdexcept>
#include <vector>

#include "protocol/record_line.h"

static void check(bool holds, const char* what, const std::string& text)
{
    if (!holds) {
        std::fprintf(stderr, "record_line_fuzz: %s: \"%s\"\n", what, text.c_str());
        std::abort();
    }
}

static unsigned long number(const std::string& text, int base) { return std::strtoul(text.c_str(), nullptr, base); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using splicerec::RecordLine;
    if (size < RecordLine::kFrameSize) {
        try {
            RecordLine::fromFrame(std::span(data, size));
        } catch (const std::invalid_argument&) {
            return 0;
        }
        check(false, "a frame shorter than eight bytes was taken", std::to_string(size) + " bytes");
    }
    // Layout and read-back in text and fields catch swapped, lost or sign-extended fields and a misplaced point.
    const auto line = RecordLine::fromFrame(std::span(data, size));
    static const std::regex layout("NO ([0-9]{5,}): 20([0-9A-F]{2})-([0-9A-F]{2})-([0-9A-F]{2}) "
                                   "([0-9A-F]{2}):([0-9A-F]{2})   LOSS:([0-9]+)\\.([0-9]{2})dB");
    std::smatch parts;
    check(std::regex_match(line.text, parts, layout), "the line does not have the record layout", line.text);
    check(number(parts[1], 10) == (unsigned{data[0]} << 8 | data[1]) && line.fields[0] == parts[1].str(),
          "the number does not read back", line.text);
    for (int i = 0; i < 5; ++i)
        check(number(parts[2 + i], 16) == data[3 + i] && line.fields[1 + i] == parts[2 + i].str(),
              "a date or time field does not read back", line.text);
    check(number(parts[7], 10) * 100 + number(parts[8], 10) == data[2] && line.fields[6].size() >= 2 &&
              number(line.fields[6], 10) == data[2],
          "the loss does not read back", line.text);

    // Bytes after the eighth (noise on the line), flipped and with more added, change nothing.
    std::vector<std::uint8_t> other(data, data + RecordLine::kFrameSize);
    for (std::size_t i = RecordLine::kFrameSize; i < size; ++i)
        other.push_back(static_cast<std::uint8_t>(~data[i]));
    other.insert(other.end(), {0xFF, 0x00, 0x80});
    const auto again = RecordLine::fromFrame(other);
    check(again.text == line.text && again.fields == line.fields, "bytes after the eighth changed the line", line.text);
    return 0;
}
