#include "app/program.h"

namespace splicerec {

Program::Program(const std::string& device, const std::string& logPath, QSettings* memory)
    : Program(std::make_unique<QtSerialPort>(QString::fromStdString(device)), nullptr, logPath)
{
    if (!memory)
        return;
    memory_ = std::make_unique<SettingsPortMemory>(*memory);
    const auto ask = [this](const std::vector<PortOffer>& ports, const std::string& current) {
        return form1_.askForPort(ports, current);
    };
    picker_ = std::make_unique<PortPicker>(*device_, *memory_, ask, portsPresent, device);
}

Program::Program(Demo, const std::string& logPath) : Program(nullptr, std::make_unique<DemoLine>(), logPath) {}

Program::Program(std::unique_ptr<QtSerialPort> device, std::unique_ptr<DemoLine> demo, const std::string& logPath)
    : device_(std::move(device)), demo_(std::move(demo)), port_(device_ ? *device_ : demo_->port()), log_(logPath),
      controller_(form1_, port_, clock_, log_)
{
    form1_.setPortName(QString::fromStdString(port_.deviceName()));
    // The port looks for the adapter afresh at each open, so the tooltip follows it.
    QObject::connect(&form1_, &Form1::comTestPressed, &form1_, [this] {
        if (picker_ && !picker_->beforeLinkTest())
            return;
        controller_.comTest();
        form1_.setPortName(QString::fromStdString(port_.deviceName()));
    });
    QObject::connect(&form1_, &Form1::startPressed, &form1_, [this] { controller_.start(); });
    QObject::connect(&form1_, &Form1::nextPagePressed, &form1_, [this] { controller_.nextPage(); });
    QObject::connect(&form1_, &Form1::readAllPressed, &form1_, [this] { controller_.readAll(); });
    QObject::connect(&form1_, &Form1::stopReadPressed, &form1_, [this] { controller_.stopRead(); });
    controller_.startUp();
}

}  // namespace splicerec
