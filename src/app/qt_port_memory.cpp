#include "app/qt_port_memory.h"

#include "serial/port_choice.h"

namespace splicerec {
namespace {

const QString kRememberedPort = QStringLiteral("port");

}  // namespace

std::string SettingsPortMemory::load() const
{
    return settings_.value(kRememberedPort).toString().toStdString();
}

bool SettingsPortMemory::save(const std::string& device)
{
    settings_.setValue(kRememberedPort, QString::fromStdString(device));
    settings_.sync();
    return settings_.status() == QSettings::NoError;
}

std::vector<PortOffer> portsPresent()
{
    const auto ports = presentPorts();
    const auto links = presentByIdLinks();
    std::vector<PortOffer> offers;
    for (const auto& port : ports) {
        offers.push_back({port.path.toStdString(), port.description.toStdString(),
                          identityOf(port.path, ports, links).byIdLink.toStdString(), port.vendorId.has_value()});
    }
    return offers;
}

}  // namespace splicerec
