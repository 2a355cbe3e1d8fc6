#pragma once

#include "serial/windows_ports.h"

#include <string>
#include <string_view>
#include <vector>

namespace splicerec {

// The COM ports Windows knows now, from SetupAPI; empty where it lists none, as under Wine.
std::vector<ComPort> listComPorts();

// Windows' UTF-16 as the UTF-8 our messages are made of.
std::string utf8FromWide(std::wstring_view text);
// And back, for the calls that take UTF-16; empty for text that is not UTF-8.
std::wstring wideFromUtf8(std::string_view text);

}  // namespace splicerec
