#pragma once

#include "protocol/serial_port.h"

#include <string>
#include <string_view>
#include <vector>

namespace splicerec {

// Why a port would not open, in the technician's terms. Each platform sorts its own
// error codes into these, so that Linux and Windows say the same thing in the same words.
enum class OpenFailure { NotFound, PermissionDenied, InUse, NotWorking, Other };

// The system's wording, fitted into a sentence of ours: trimmed, without its full stop.
std::string plainReason(std::string_view systemReason);

// Why `device` cannot be opened and what the technician can do about it, with the
// system's wording as the detail. `presentPorts` are offered instead of a device that is
// not there; `permissionAdvice` says how to get access, which differs by platform.
PortError describeOpenFailure(OpenFailure kind, const std::string& device, std::string_view systemReason,
                              const std::vector<std::string>& presentPorts, const std::string& permissionAdvice);

// An open port that failed: the adapter was unplugged or stopped answering. The system's
// text after an unplug is often beside the point (a stale errno, "not ready"), so it is
// only the detail.
PortError describeLostConnection(const std::string& device, std::string_view systemReason);

}  // namespace splicerec
