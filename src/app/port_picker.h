#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/port_decision.h"
#include "serial/pickable_port.h"

namespace splicerec {

// Where the technician's pick is kept between starts.
class PortMemory {
public:
    virtual ~PortMemory() = default;
    // The pick kept by an earlier start; empty when there is none or it cannot be read.
    virtual std::string load() const = 0;
    // Keeps `device` for the next start; false when it could not be kept.
    virtual bool save(const std::string& device) = 0;
};

// Chooses the port before each Com Test: --port wins; else the only adapter present, a
// pick remembered from an earlier start, or a pick asked of the technician when several
// adapters are present or the port could not be opened. A pick is remembered for the next start.
class PortPicker {
public:
    // Lets the technician pick one of the ports, the one in use offered first; nothing
    // when they cancel.
    using Asker = std::function<std::optional<std::string>(const std::vector<PortOffer>&, const std::string& current)>;
    // The ports present now.
    using Lister = std::function<std::vector<PortOffer>()>;

    // `given`: --port, empty without it.
    PortPicker(PickablePort& port, PortMemory& memory, Asker ask, Lister list, std::string given);

    // False when the technician cancelled: no link test then.
    bool beforeLinkTest();

private:
    PickablePort& port_;
    PortMemory& memory_;
    Asker ask_;
    Lister list_;
    std::string given_;
    std::string inUse_;
};

}  // namespace splicerec
