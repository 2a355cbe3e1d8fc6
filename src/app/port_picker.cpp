#include "app/port_picker.h"

#include <utility>

namespace splicerec {

PortPicker::PortPicker(PickablePort& port, PortMemory& memory, Asker ask, Lister list, std::string given)
    : port_(port), memory_(memory), ask_(std::move(ask)), list_(std::move(list)), given_(std::move(given)),
      inUse_(given_)
{
}

bool PortPicker::beforeLinkTest()
{
    const auto present = list_();
    auto decision = decidePort(given_, memory_.load(), port_.lastOpenFailed(), present);
    if (decision.ask) {
        const auto picked = ask_(present, port_.deviceName());
        if (!picked)
            return false;
        decision.device = given_ = *picked;
        // A pick that cannot be kept still holds until the program ends; the next
        // start merely asks again.
        static_cast<void>(memory_.save(*picked));
    }
    // Setting the device forgets the adapter opened last, which a replug must not lose.
    if (decision.device != inUse_) {
        port_.setDevice(decision.device);
        inUse_ = decision.device;
    }
    return true;
}

}  // namespace splicerec
