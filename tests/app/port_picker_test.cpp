#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include "app/port_picker.h"
#include "window/qt_support.h"

namespace splicerec {
namespace {

const PortOffer kUsb0{"/dev/ttyUSB0", "FT232R USB UART", "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", true},
    kUsb1{"/dev/ttyUSB1", "CP2102 USB to UART", "", true}, kBuiltIn{"/dev/ttyS0", "", "", false};

TEST(PortPicker, asksOnlyWhenThereIsAChoiceToMake)
{
    const struct {
        const char* why;
        QString given, remembered;
        bool openFailed;
        std::vector<PortOffer> present;
        QString device;
        bool ask;
    } cases[] = {
        {"one adapter is simply used", "", "", false, {kUsb0, kBuiltIn}, "", false},
        {"two adapters, no choice yet", "", "", false, {kUsb0, kUsb1}, "", true},
        {"remembered by path", "", "/dev/ttyUSB1", false, {kUsb0, kUsb1}, "/dev/ttyUSB1", false},
        {"remembered by by-id link", "", kUsb0.byIdLink, false, {kUsb1, kUsb0}, kUsb0.byIdLink, false},
        {"remembered but gone", "", "/dev/ttyUSB5", false, {kUsb0, kUsb1}, "", true},
        {"remembered, one other adapter", "", "/dev/ttyUSB1", false, {kUsb0}, "", false},
        {"--port wins", "/dev/ttyUSB9", "/dev/ttyUSB1", false, {kUsb0, kUsb1}, "/dev/ttyUSB9", false},
        {"--port failed", "/dev/ttyUSB9", "", true, {kUsb0}, "/dev/ttyUSB9", true},
        {"--port failed, nothing else", "/dev/ttyUSB9", "", true, {}, "/dev/ttyUSB9", false},
        {"the one adapter failed", "", "", true, {kUsb0}, "", false},
        {"the built-in default failed", "", "", true, {kBuiltIn}, "", true},
        {"the remembered one failed", "", "/dev/ttyUSB1", true, {kUsb0, kUsb1}, "/dev/ttyUSB1", true},
    };
    for (const auto& c : cases) {
        const auto decision = decidePort(c.given, c.remembered, c.openFailed, c.present);
        EXPECT_EQ(std::pair(decision.device, decision.ask), std::pair(c.device, c.ask)) << c.why;
    }
}

// The dialog offers the port in use first; the pick, by its stable name, is kept and used unasked at the next start.
TEST(PortPicker, dialogShowsThePortsAndThePickIsUsedAtTheNextStartAndCancelRunsNoLinkTest)
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
    QtSerialPort port("/dev/ttyUSB1");
    PortPicker picker(port, form, memory, "", present);
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

    memory.sync();
    QSettings nextStart(dir.filePath("splice-records.conf"), QSettings::IniFormat);
    QtSerialPort nextPort("");
    PortPicker nextPicker(nextPort, form, nextStart, "", present);
    EXPECT_TRUE(nextPicker.beforeLinkTest());
    EXPECT_EQ(nextPort.deviceName(), "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    EXPECT_EQ(dialogs, 2);
}

}  // namespace
}  // namespace splicerec
