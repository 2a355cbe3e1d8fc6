#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/port_picker.h"
#include "serial/windows_ports.h"

namespace splicerec {

// The pick in an INI file, as "[port] name=COM3". The file is UTF-16, so that any port
// name survives whatever the system's code page is.
class IniPortMemory final : public PortMemory {
public:
    explicit IniPortMemory(std::filesystem::path file);

    std::string load() const override;
    // Creates the file's folder first, as a first start finds none.
    bool save(const std::string& device) override;

private:
    std::filesystem::path file_;
};

// %APPDATA%\splice-records\splice-records.ini; empty when Windows does not say where
// the roaming Application Data folder is.
std::filesystem::path portMemoryFile();

// The COM ports as the technician is offered them, by COM number: the friendly name,
// manufacturer and USB identity as the description; a port with a USB identity is an adapter.
std::vector<PortOffer> comPortOffers(std::vector<ComPort> ports);

// comPortOffers() of the ports present now.
std::vector<PortOffer> comPortsPresent();

}  // namespace splicerec
