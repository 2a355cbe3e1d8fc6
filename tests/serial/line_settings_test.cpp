#include <gtest/gtest.h>

#include "serial/line_settings.h"

namespace splicerec {
namespace {

TEST(LineSettings, parsesTheInstrumentsLine)
{
    const auto settings = LineSettings::parse("2400,n,8,1");
    EXPECT_EQ(settings.baud, 2400);
    EXPECT_EQ(settings.parity, Parity::None);
    EXPECT_EQ(settings.dataBits, 8);
    EXPECT_EQ(settings.stopBits, 1);
    EXPECT_EQ(LineSettings::parse("9600,E,7,2").parity, Parity::Even);
}

TEST(LineSettings, rejectsMalformedText)
{
    for (const char* text : {"", "2400", "2400,n,8", "2400,n,8,1,0", "fast,n,8,1", "2400,x,8,1",
                             "2400,n,9,1", "2400,n,8,3", "-2400,n,8,1", "2400,,8,1", "2400 ,n,8,1"}) {
        EXPECT_THROW(LineSettings::parse(text), std::invalid_argument) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace splicerec
