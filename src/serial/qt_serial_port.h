#pragma once

#include "serial/line_settings.h"
#include "serial/pickable_port.h"
#include "serial/port_choice.h"
#include "protocol/serial_port.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

namespace splicerec {

// The serial port over QSerialPort. It closes itself on the first error while open,
// because QSerialPort keeps a vanished device "open" and reports errors in a tight loop.
// Each open() looks for the device afresh: a by-id link is resolved again, and an
// adapter that came back under another name is found by what identified it.
class QtSerialPort final : public QObject, public SerialPort, public PickablePort {
    Q_OBJECT

public:
    // `device` as the technician typed it: a path, a symlink or a bare name like ttyUSB0;
    // empty for the first adapter found at each open (defaultPortPath()).
    explicit QtSerialPort(QString device, QObject* parent = nullptr);
    ~QtSerialPort() override;

    void setSettings(const std::string& settings) override;
    bool isOpen() const override;
    void open() override;
    void close() override;
    void clearOutput() override;
    void clearInput() override;
    void write(std::string_view text) override;
    int pendingOutput() const override;
    int pendingInput() const override;
    std::optional<PortError> failure() const override;
    std::string deviceName() const override;

    void setDevice(const std::string& device) override;
    bool lastOpenFailed() const override { return lastOpenFailed_; }

protected:
    std::vector<std::uint8_t> takeInput() override;

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void fail();
    void applySettings();
    QString resolvePath(bool& movedAdapter) const;

    QString device_;
    QString shownName_;          // the device as the messages name it, once open() chose one
    AdapterIdentity identity_;   // of the adapter last opened; kept while it is unplugged
    LineSettings settings_;
    std::optional<PortError> failure_;
    bool lastOpenFailed_ = false;
    // Last, so it goes first on destruction while the members its signals touch live.
    QSerialPort port_;
};

}  // namespace splicerec
