#include "serial/port_messages.h"

namespace splicerec {

std::string plainReason(std::string_view systemReason)
{
    constexpr std::string_view kSpace = " \t\r\n";
    const auto first = systemReason.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return "unknown error";
    auto text = systemReason.substr(first, systemReason.find_last_not_of(kSpace) - first + 1);
    while (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    return text.empty() ? "unknown error" : std::string(text);
}

namespace {

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

PortError describeOpenFailure(OpenFailure kind, const std::string& device, std::string_view systemReason,
                              const std::vector<std::string>& presentPorts, const std::string& permissionAdvice)
{
    const auto head = "Cannot open " + device + ": ";
    const auto error = [&systemReason](const std::string& message) {
        return PortError(message, plainReason(systemReason));
    };
    switch (kind) {
    case OpenFailure::NotFound:
        // A typo or a renumbered adapter is the usual cause: show what is there.
        if (presentPorts.empty())
            return error(head +
                         "the device does not exist or is not connected. No serial port is connected at all: "
                         "plug in the serial adapter and press Com Test again.");
        return error(head + "the device does not exist or is not connected. Serial ports present: " +
                     joined(presentPorts) +
                     ". Plug in the serial adapter, or press Com Test again and pick one of those.");
    case OpenFailure::PermissionDenied:
        return error(head + "permission denied. " + permissionAdvice);
    case OpenFailure::InUse:
        return error(head +
                     "it is in use by another program. Close that program (or the other copy of this one) "
                     "and try again.");
    case OpenFailure::NotWorking:
        return error(head +
                     "the adapter is there but does not respond. Unplug it, plug it in again and press "
                     "Com Test again.");
    case OpenFailure::Other:
        break;
    }
    return error(head + plainReason(systemReason) + ". Check that it is the splicer's serial port.");
}

PortError describeLostConnection(const std::string& device, std::string_view systemReason)
{
    return PortError("The connection to " + device +
                         " was lost: the adapter was unplugged or stopped answering. Plug it in again and "
                         "check the cable, then press Com Test.",
                     "System message: " + plainReason(systemReason));
}

}  // namespace splicerec
