#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "app/port_decision.h"

class QListWidget;

namespace splicerec {

// The small dialog in which the technician picks the splicer's port.
class PortDialog final : public QDialog {
    Q_OBJECT

public:
    PortDialog(const std::vector<PortOffer>& ports, const std::string& current, QWidget* parent);

    // The stable name of the port picked, which keeps naming that adapter in any socket;
    // else its path. Empty when none is picked.
    std::string choice() const;

private:
    QListWidget* list_ = nullptr;
};

}  // namespace splicerec
