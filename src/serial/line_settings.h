#pragma once

#include <string>

namespace splicerec {

enum class Parity { None, Even, Odd, Mark, Space };

struct LineSettings {
    int baud = 0;
    Parity parity = Parity::None;
    int dataBits = 0;
    int stopBits = 0;  // 1 or 2

    // Parses "2400,n,8,1". Throws std::invalid_argument on anything malformed: a
    // silently defaulted line would talk garbage to the instrument.
    static LineSettings parse(const std::string& text);
};

}  // namespace splicerec
