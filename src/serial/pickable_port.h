#pragma once

#include <string>

namespace splicerec {

// What choosing the port between link tests needs of it. The Qt port and the COM port
// both have it, so one picker serves both programs.
class PickablePort {
public:
    virtual ~PickablePort() = default;

    // Another device from the next open() on, as the technician picked it ("" for the
    // default); closes the port, forgets the adapter opened last and clears lastOpenFailed().
    virtual void setDevice(const std::string& device) = 0;
    // Whether the last open() threw.
    virtual bool lastOpenFailed() const = 0;
    // The device open now, else the one the next open() will look for.
    virtual std::string deviceName() const = 0;
};

}  // namespace splicerec
