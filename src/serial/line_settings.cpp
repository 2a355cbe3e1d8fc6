#include "serial/line_settings.h"

#include <charconv>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace splicerec {
namespace {

std::vector<std::string_view> splitOnComma(std::string_view text)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos)
            return parts;
        start = comma + 1;
    }
}

int parseNumber(std::string_view text, const std::string& whole)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        throw std::invalid_argument("malformed line settings \"" + whole + "\"");
    return value;
}

}  // namespace

LineSettings LineSettings::parse(const std::string& text)
{
    const auto parts = splitOnComma(text);
    const auto bad = [&](const char* what) {
        return std::invalid_argument("line settings \"" + text + "\": " + what);
    };
    if (parts.size() != 4)
        throw bad("expected baud,parity,data bits,stop bits");

    LineSettings settings;
    settings.baud = parseNumber(parts[0], text);
    if (settings.baud <= 0)
        throw bad("baud rate must be positive");

    if (parts[1].size() != 1)
        throw bad("parity must be one of n, e, o, m, s");
    switch (parts[1][0]) {
    case 'n': case 'N': settings.parity = Parity::None; break;
    case 'e': case 'E': settings.parity = Parity::Even; break;
    case 'o': case 'O': settings.parity = Parity::Odd; break;
    case 'm': case 'M': settings.parity = Parity::Mark; break;
    case 's': case 'S': settings.parity = Parity::Space; break;
    default: throw bad("parity must be one of n, e, o, m, s");
    }

    settings.dataBits = parseNumber(parts[2], text);
    if (settings.dataBits < 5 || settings.dataBits > 8)
        throw bad("data bits must be 5 to 8");
    settings.stopBits = parseNumber(parts[3], text);
    if (settings.stopBits != 1 && settings.stopBits != 2)
        throw bad("stop bits must be 1 or 2");
    return settings;
}

}  // namespace splicerec
