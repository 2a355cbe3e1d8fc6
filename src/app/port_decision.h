#pragma once

#include <string>
#include <vector>

namespace splicerec {

// A serial port the technician may pick.
struct PortOffer {
    std::string path;         // "/dev/ttyUSB0", "COM3"
    std::string description;  // what the system says of it; may be empty
    // A name that keeps naming this adapter in any socket (a /dev/serial/by-id link);
    // empty where the system keeps none, as on Windows.
    std::string stableName;
    bool adapter = false;  // a USB serial adapter rather than a built-in port
};

// The port a link test uses, and whether the technician must pick it first. `given` is
// --port or the pick made since the start, `remembered` the pick of an earlier start.
struct PortDecision {
    std::string device;  // empty: the first adapter found at the open
    bool ask = false;
};
PortDecision decidePort(const std::string& given, const std::string& remembered, bool lastOpenFailed,
                        const std::vector<PortOffer>& present);

}  // namespace splicerec
