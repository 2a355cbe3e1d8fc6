// Arbitrary bytes as a record frame: the line that goes to the window and the log must
// keep its shape and read back to the bytes it came from, whatever the instrument sent.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/record_line.h"

namespace {

using splicerec::RecordLine;

[[noreturn]] void violated(const char* what, const std::string& text)
{
    std::fprintf(stderr, "record_line_fuzz: %s: \"%s\"\n", what, text.c_str());
    std::abort();
}

void check(bool holds, const char* what, const std::string& text)
{
    if (!holds)
        violated(what, text);
}

unsigned long hex(const std::string& text) { return std::strtoul(text.c_str(), nullptr, 16); }
unsigned long dec(const std::string& text) { return std::strtoul(text.c_str(), nullptr, 10); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> frame(data, size);
    if (size < RecordLine::kFrameSize) {
        try {
            RecordLine::fromFrame(frame);
        } catch (const std::invalid_argument&) {
            return 0;
        }
        violated("a frame shorter than eight bytes was taken", std::to_string(size) + " bytes");
    }

    const auto line = RecordLine::fromFrame(frame);
    const auto& text = line.text;
    check(text.starts_with("NO "), "the line does not start with \"NO \"", text);
    for (unsigned char c : text)
        check(c >= 0x20 && c < 0x7F, "the line is not printable ASCII", text);

    // Parsing the line back must give the bytes of the frame: catches swapped, lost or
    // sign-extended fields and a misplaced decimal point in the loss.
    static const std::regex layout(
        "NO ([0-9]{5,}): 20([0-9A-F]{2})-([0-9A-F]{2})-([0-9A-F]{2}) ([0-9A-F]{2}):([0-9A-F]{2})"
        "   LOSS:([0-9]+)\\.([0-9]{2})dB");
    std::smatch parts;
    check(std::regex_match(text, parts, layout), "the line does not have the record layout", text);
    check(dec(parts[1]) == (unsigned{data[0]} << 8 | data[1]), "the number does not read back", text);
    for (int i = 0; i < 5; ++i)
        check(hex(parts[2 + i]) == data[3 + i], "a date or time field does not read back", text);
    check(dec(parts[7]) * 100 + dec(parts[8]) == data[2], "the loss does not read back", text);

    check(line.fields[0] == parts[1].str(), "field 0 is not the number shown", text);
    check(line.fields[0].size() >= 5, "field 0 has fewer than five digits", text);
    for (int i = 1; i <= 5; ++i)
        check(line.fields[i] == parts[1 + i].str(), "a date or time field is not the one shown", text);
    check(line.fields[6].size() >= 2 && dec(line.fields[6]) == data[2], "field 6 is not the loss", text);

    // Bytes after the eighth (trailing noise on the line) change nothing.
    std::vector<std::uint8_t> other(data, data + RecordLine::kFrameSize);
    if (size > RecordLine::kFrameSize) {
        for (std::size_t i = RecordLine::kFrameSize; i < size; ++i)
            other.push_back(static_cast<std::uint8_t>(~data[i]));
    } else {
        other.insert(other.end(), {0xFF, 0x00, 0x80});
    }
    const auto again = RecordLine::fromFrame(other);
    check(again.text == text && again.fields == line.fields, "bytes after the eighth changed the line", text);
    return 0;
}
