#include <gtest/gtest.h>

#include "serial/line_settings.h"

namespace splicerec {
namespace {

TEST(LineSettings, parsesTheInstrumentsLine)
{
    const auto settings = LineSettings::parse("2400,n,8,1");
    EXPECT_EQ(std::tuple(settings.baud, settings.parity, settings.dataBits, settings.stopBits),
              std::tuple(2400, Parity::None, 8, 1));
}

}  // namespace
}  // namespace splicerec
