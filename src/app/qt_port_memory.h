#pragma once

#include <QSettings>
#include <vector>

#include "app/port_picker.h"

namespace splicerec {

// The pick under the key "port" of the program's settings
// (~/.config/splice-records/splice-records.conf).
class SettingsPortMemory final : public PortMemory {
public:
    explicit SettingsPortMemory(QSettings& settings) : settings_(settings) {}

    std::string load() const override;
    bool save(const std::string& device) override;

private:
    QSettings& settings_;
};

// The serial ports present now, with their by-id links.
std::vector<PortOffer> portsPresent();

}  // namespace splicerec
