#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace splicerec {

// One record frame as text: the seven fields and the line shown, kept and logged.
struct RecordLine {
    static constexpr std::size_t kFrameSize = 8;

    std::array<std::string, 7> fields;  // number, year, month, day, hour, minute, loss
    std::string text;                   // "NO 00001: 2002-12-19 15:27   LOSS:0.06dB"

    // Uses the first eight bytes of `frame`, which must hold at least eight.
    static RecordLine fromFrame(std::span<const std::uint8_t> frame);
};

}  // namespace splicerec
