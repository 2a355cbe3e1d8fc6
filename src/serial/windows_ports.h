#pragma once

#include "serial/port_messages.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The rules of the Windows serial port that need no Windows: names, the identity of an
// adapter, the choice of port and the meaning of error codes. Tested on every platform.
namespace splicerec {

// The COM port as the technician knows it: "com3", " COM10 " and "\\.\COM10" are
// "COM3" and "COM10". A name that is not COMn (a virtual port's) is kept as typed.
std::string comPortName(std::string_view typed);

// What CreateFile needs: "\\.\COM10". Plain "COM10" would be a file in the current
// folder, as only COM1 to COM9 are reserved names.
std::string comDevicePath(std::string_view name);

// The USB adapter behind a port; empty for a built-in or Bluetooth port.
struct UsbIdentity {
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
    std::string serialNumber;  // as the driver reports it; FTDI's ends in the port letter

    bool empty() const { return !vendorId && serialNumber.empty(); }
    bool operator==(const UsbIdentity&) const = default;
};

// The identity in a device instance ID: "USB\VID_0403&PID_6001\A50285BI" or
// "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000". An instance part that Windows made up
// (it holds '&', as "5&2C8F1E3&0&2") is no serial number.
UsbIdentity parseDeviceId(std::string_view id);

// One COM port as SetupAPI lists it.
struct ComPort {
    std::string name;          // "COM3"
    std::string friendlyName;  // "USB Serial Port (COM3)"
    std::string manufacturer;  // "FTDI"
    std::string deviceId;      // the device instance ID, or its hardware ID
};

// The port to use when none is named: the USB adapter with the lowest COM number, else
// COM1, the built-in port of most PCs.
std::string chooseDefaultPort(const std::vector<ComPort>& ports);

// The port that now holds the adapter with `identity`: the one with its serial number
// and vendor:product; for an adapter without a serial number, the only port with its
// vendor:product. None when two fit, since the wrong one may be another instrument.
std::optional<std::string> findComAdapter(const UsbIdentity& identity, const std::vector<ComPort>& ports);

// What open() uses: the adapter opened last, where it is now (it may come back under
// another number after a replug); else the port typed; else the default.
std::string choosePortToOpen(const std::string& typed, const UsbIdentity& lastOpened,
                             const std::vector<ComPort>& ports);

enum class ComStep { Open, Use };

// A Windows error code as the technician's message about `device`, the system's text as
// the detail. At Open, the code says what to do; in Use, any failure means the adapter
// is gone. `present` is offered when the device is not there.
PortError comPortError(ComStep step, unsigned long code, const std::string& device, std::string_view systemText,
                       const std::vector<ComPort>& present);

// The ports by COM number, so that COM2 comes before COM10; other names last.
void sortComPorts(std::vector<ComPort>& ports);

// What is known of a port besides its name: "USB Serial Port (COM3), FTDI, serial
// A50285BI, USB 0403:6001", each part where known.
std::string comPortDetails(const ComPort& port);

// The answer to --list-ports: one port a line by COM number, the default one marked.
std::string formatComPortList(const std::vector<ComPort>& ports, const std::string& defaultName);

}  // namespace splicerec
