#pragma once

// The dialog's resource (win32_port_dialog.rc, linked into each program that shows it).
#define SPLICE_PORT_DIALOG 200
#define SPLICE_PORT_LIST 201

#ifndef RC_INVOKED
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/port_decision.h"

namespace splicerec {

// The small dialog in which the technician picks the splicer's port, `current` offered
// first. The port's name when they pick one; nothing when they cancel.
std::optional<std::string> runPortDialog(HINSTANCE instance, HWND owner, const std::vector<PortOffer>& ports,
                                         const std::string& current);

}  // namespace splicerec
#endif
