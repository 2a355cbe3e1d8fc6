#pragma once

#include <QDialog>
#include <QString>
#include <vector>

class QListWidget;

namespace splicerec {

// A serial port the technician may pick.
struct PortOffer {
    QString path;
    QString description;
    QString byIdLink;      // empty where udev keeps none
    bool adapter = false;  // a USB serial adapter rather than a built-in port
};

// The small dialog in which the technician picks the splicer's port.
class PortDialog final : public QDialog {
    Q_OBJECT

public:
    PortDialog(const std::vector<PortOffer>& ports, const QString& current, QWidget* parent);

    // The by-id link of the port picked, which keeps naming that adapter in any socket;
    // else its path.
    QString choice() const;

private:
    QListWidget* list_ = nullptr;
};

}  // namespace splicerec
