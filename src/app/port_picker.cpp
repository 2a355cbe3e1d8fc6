#include "app/port_picker.h"

#include <algorithm>

#include "serial/port_choice.h"

namespace splicerec {
namespace {

const QString kRememberedPort = QStringLiteral("port");

}  // namespace

PortDecision decidePort(const QString& given, const QString& remembered, bool lastOpenFailed,
                        const std::vector<PortOffer>& present)
{
    const auto adapters = std::count_if(present.begin(), present.end(), [](const auto& port) { return port.adapter; });
    const bool rememberedHere = !remembered.isEmpty() && std::any_of(present.begin(), present.end(), [&](const auto& port) {
        return port.path == remembered || port.byIdLink == remembered;
    });
    // A failed open asks only when there is something to pick; one adapter is always taken.
    const bool askAfterFailure = lastOpenFailed && !present.empty();
    if (!given.isEmpty())
        return {given, askAfterFailure};
    if (adapters == 1)
        return {QString(), false};
    if (rememberedHere)
        return {remembered, askAfterFailure};
    return {QString(), adapters > 1 || askAfterFailure};
}

std::vector<PortOffer> portsPresent()
{
    const auto ports = presentPorts();
    const auto links = presentByIdLinks();
    std::vector<PortOffer> offers;
    for (const auto& port : ports)
        offers.push_back({port.path, port.description, identityOf(port.path, ports, links).byIdLink, port.vendorId.has_value()});
    return offers;
}

PortPicker::PortPicker(QtSerialPort& port, Form1& window, QSettings& memory, QString given, Lister list)
    : port_(port), window_(window), memory_(memory), given_(std::move(given)), inUse_(given_), list_(std::move(list))
{
}

bool PortPicker::beforeLinkTest()
{
    const auto present = list_();
    const auto remembered = memory_.value(kRememberedPort).toString();
    auto decision = decidePort(given_, remembered, port_.lastOpenFailed(), present);
    if (decision.ask) {
        const auto picked = window_.askForPort(present, QString::fromStdString(port_.deviceName()));
        if (!picked)
            return false;
        decision.device = given_ = *picked;
        memory_.setValue(kRememberedPort, *picked);
    }
    if (decision.device != inUse_) {
        port_.setDevice(decision.device);
        inUse_ = decision.device;
    }
    return true;
}

}  // namespace splicerec
