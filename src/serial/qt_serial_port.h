#pragma once

#include "serial/line_settings.h"
#include "serial/serial_port.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

namespace splicerec {

// The serial port over QSerialPort. It closes itself on the first error while open,
// because QSerialPort keeps a vanished device "open" and reports errors in a tight loop.
class QtSerialPort final : public QObject, public SerialPort {
    Q_OBJECT

public:
    // `device` as the technician typed it: a path, a symlink or a bare name like ttyUSB0.
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

protected:
    std::vector<std::uint8_t> takeInput() override;

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void fail();
    void applySettings();

    QString device_;
    LineSettings settings_;
    std::optional<PortError> failure_;
    // Last, so it goes first on destruction while the members its signals touch live.
    QSerialPort port_;
};

}  // namespace splicerec
