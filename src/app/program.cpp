#include "app/program.h"

namespace splicerec {

Program::Program(const QString& device, const std::filesystem::path& logPath, QSettings* memory)
    : port_(device), log_(logPath), controller_(form1_, port_, clock_, log_)
{
    if (memory)
        picker_ = std::make_unique<PortPicker>(port_, form1_, *memory, device);
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
