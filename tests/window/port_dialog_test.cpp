#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include "app/port_picker.h"
#include "app/qt_port_memory.h"
#include "serial/qt_serial_port.h"
#include "window/form1.h"
#include "window/qt_support.h"

namespace splicerec {
namespace {

const PortOffer kUsb0{"/dev/ttyUSB0", "FT232R USB UART", "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", true},
    kUsb1{"/dev/ttyUSB1", "CP2102 USB to UART", "", true}, kBuiltIn{"/dev/ttyS0", "", "", false};

// The dialog offers the port in use first; the pick, by its stable name, is kept in the
// settings file under "port" (as earlier versions kept it) and used unasked at the next start.
TEST(PortDialog, showsThePortsAndThePickIsKeptInTheSettingsForTheNextStartAndCancelRunsNoLinkTest)
{
    QTemporaryDir dir;
    QSettings memory(dir.filePath("splice-records.conf"), QSettings::IniFormat);
    Form1 form;
    int dialogs = 0, offered = -1;
    QStringList rows;
    const auto answerDialog = [&](int row) {
        QTimer::singleShot(0, [&, row] {
            ++dialogs;
            auto* dialog = QApplication::activeModalWidget();
            auto* list = dialog->findChild<QListWidget*>();
            for (int i = 0; i < list->count(); ++i)
                rows << list->item(i)->text();
            offered = list->currentRow();
            if (row >= 0) {
                list->setCurrentRow(row);
                dialog->grab().save(QDir(test::testOutputDir()).filePath("port-dialog.png"));
            }
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            buttons->button(row < 0 ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok)->click();
        });
    };
    const auto present = [] { return std::vector{kBuiltIn, kUsb0, kUsb1}; };
    const auto ask = [&form](const std::vector<PortOffer>& ports, const std::string& current) {
        return form.askForPort(ports, current);
    };
    QtSerialPort port("/dev/ttyUSB1");
    SettingsPortMemory kept(memory);
    PortPicker picker(port, kept, ask, present, "");
    answerDialog(-1);
    EXPECT_FALSE(picker.beforeLinkTest());
    EXPECT_FALSE(memory.contains("port"));
    EXPECT_EQ(rows, QStringList({"/dev/ttyS0",
                                 "/dev/ttyUSB0  FT232R USB UART\n/dev/serial/by-id/usb-FTDI_FT232R-if00-port0",
                                 "/dev/ttyUSB1  CP2102 USB to UART"}));
    EXPECT_EQ(offered, 2);
    answerDialog(1);
    EXPECT_TRUE(picker.beforeLinkTest());
    EXPECT_EQ(port.deviceName(), "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    EXPECT_TRUE(picker.beforeLinkTest()) << "asked again after a pick";
    EXPECT_EQ(dialogs, 2);

    QSettings nextStart(dir.filePath("splice-records.conf"), QSettings::IniFormat);
    EXPECT_EQ(nextStart.value("port").toString(), "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    QtSerialPort nextPort("");
    SettingsPortMemory nextKept(nextStart);
    PortPicker nextPicker(nextPort, nextKept, ask, present, "");
    EXPECT_TRUE(nextPicker.beforeLinkTest());
    EXPECT_EQ(nextPort.deviceName(), "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    EXPECT_EQ(dialogs, 2);
}

}  // namespace
}  // namespace splicerec
