#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include "app/port_picker.h"
#include "window/qt_support.h"

namespace splicerec {
namespace {

const PortOffer kUsb0{"/dev/ttyUSB0", "FT232R USB UART", "/dev/serial/by-id/usb-FTDI-if00", true},
    kUsb1{"/dev/ttyUSB1", "CP2102", "", true}, kBuiltIn{"/dev/ttyS0", "", "", false};

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
        EXPECT_EQ(decision.device, c.device) << c.why;
        EXPECT_EQ(decision.ask, c.ask) << c.why;
    }
}

// The pick goes to the port and into the settings, and the next start uses it unasked.
TEST(PortPicker, rememberedPickIsUsedAtTheNextStartAndCancelRunsNoLinkTest)
{
    QTemporaryDir dir;
    QSettings memory(dir.filePath("splice-records.conf"), QSettings::IniFormat);
    Form1 form;
    int dialogs = 0;
    const auto answerDialog = [&](int row) {
        QTimer::singleShot(0, [&dialogs, row] {
            ++dialogs;
            auto* dialog = QApplication::activeModalWidget();
            if (row >= 0)
                dialog->findChild<QListWidget*>()->setCurrentRow(row);
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            buttons->button(row < 0 ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok)->click();
        });
    };
    const auto twoAdapters = [] { return std::vector{kUsb0, kUsb1}; };
    {
        QtSerialPort port("");
        PortPicker picker(port, form, memory, "", twoAdapters);
        answerDialog(-1);
        EXPECT_FALSE(picker.beforeLinkTest());
        EXPECT_FALSE(memory.contains("port"));
        answerDialog(1);
        EXPECT_TRUE(picker.beforeLinkTest());
        EXPECT_EQ(port.deviceName(), "/dev/ttyUSB1");
        EXPECT_TRUE(picker.beforeLinkTest()) << "asked again after a pick";
        EXPECT_EQ(dialogs, 2);
    }
    memory.sync();
    QSettings nextStart(dir.filePath("splice-records.conf"), QSettings::IniFormat);
    QtSerialPort port("");
    PortPicker picker(port, form, nextStart, "", twoAdapters);
    EXPECT_TRUE(picker.beforeLinkTest());
    EXPECT_EQ(port.deviceName(), "/dev/ttyUSB1");
    EXPECT_EQ(dialogs, 2);
}

}  // namespace
}  // namespace splicerec
