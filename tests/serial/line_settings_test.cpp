#include <gtest/gtest.h>

#include "serial/line_settings.h"

namespace splicerec {
namespace {

TEST(LineSettings, parsesTheInstrumentsLineAndRejectsMalformedText)
{
    const auto settings = LineSettings::parse("9600,E,7,2");
    EXPECT_EQ(std::tuple(settings.baud, settings.parity, settings.dataBits, settings.stopBits),
              std::tuple(9600, Parity::Even, 7, 2));
    EXPECT_EQ(LineSettings::parse("2400,n,8,1").parity, Parity::None);
    for (const char* text : {"", "2400", "2400,n,8", "2400,n,8,1,0", "fast,n,8,1", "2400,x,8,1",
                             "2400,n,9,1", "2400,n,8,3", "-2400,n,8,1", "2400,,8,1", "2400 ,n,8,1"})
        EXPECT_THROW(LineSettings::parse(text), std::invalid_argument) << '"' << text << '"';
}

}  // namespace
}  // namespace splicerec
