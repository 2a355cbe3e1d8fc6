#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "instrument.h"
#include "protocol/clock.h"
#include "protocol/record_line.h"
#include "pty_instrument.h"
#include "serial/qt_serial_port.h"
#include "window/form1.h"
#include "window/qt_support.h"

namespace splicerec {
namespace {

QStringList expectedLines(int first, int last)
{
    QStringList lines;
    for (int number = first; number <= last; ++number)
        lines << QString::fromStdString(RecordLine::fromFrame(sim::Instrument::frame(number)).text);
    return lines;
}

// Everything real but the splicer: the window, QSerialPort on a pty, the steady clock
// and a log file; the technician's clicks go through the mouse.
TEST(Form1EndToEnd, comTestThenStartShowsTheFirstPageAndLogsIt)
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("RECORD.txt"));
    sim::PtyInstrument instrument(sim::Behaviour{.paced = true});
    QtSerialPort port(instrument.devicePath());
    SteadyClock clock;
    Form1 form(port, clock, RecordLog(logPath.toStdString()));
    test::MessageBoxAnswerer answerer;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    const auto button = [&](const char* name) { return form.findChild<QPushButton*>(QString::fromLatin1(name)); };
    auto* status = form.findChild<QLabel*>(QStringLiteral("Label2"));

    QTest::mouseClick(button("Command5"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return status->text() == QStringLiteral("Communication success !57 records in the device!"); }, 10000))
        << status->text().toStdString();
    EXPECT_TRUE(button("Command1")->isEnabled());
    EXPECT_TRUE(button("Command3")->isEnabled());
    EXPECT_FALSE(button("Command4")->isEnabled());
    EXPECT_FALSE(button("Command2")->isEnabled());

    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return button("Command4")->isEnabled(); }, 10000));

    const QStringList page = expectedLines(1, 20);
    EXPECT_EQ(QString::fromStdString(form.pageText()), page.join(QStringLiteral("\r\n")));
    EXPECT_EQ(form.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->toPlainText(), page.join(QLatin1Char('\n')));
    auto* progress = form.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    EXPECT_EQ(progress->maximum(), 57);
    EXPECT_EQ(progress->value(), 20);
    EXPECT_TRUE(button("Command2")->isEnabled());
    EXPECT_TRUE(button("Command3")->isEnabled());
    EXPECT_TRUE(answerer.texts().isEmpty());

    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLatin1(log.readAll()), page.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));

    const QString shot = QDir(test::testOutputDir()).filePath(QStringLiteral("form1-start.png"));
    EXPECT_TRUE(form.grab().save(shot, "PNG")) << shot.toStdString();
}

// The whole download as the technician runs it; its picture is the README's screenshot.
TEST(Form1EndToEnd, readAllDownloadsEveryRecordAndLeavesTheLastPage)
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("RECORD.txt"));
    // 57 records leave a last page of 17 lines: all of them fit in the text area.
    sim::PtyInstrument instrument(sim::Behaviour{.records = 57});
    QtSerialPort port(instrument.devicePath());
    SteadyClock clock;
    Form1 form(port, clock, RecordLog(logPath.toStdString()));
    test::MessageBoxAnswerer answerer;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const auto button = [&](const char* name) { return form.findChild<QPushButton*>(QString::fromLatin1(name)); };

    QTest::mouseClick(button("Command5"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return button("Command3")->isEnabled(); }, 10000)) << form.statusText();
    QTest::mouseClick(button("Command3"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.texts().isEmpty(); }, 30000));

    EXPECT_EQ(answerer.texts(), QStringList{QStringLiteral("RECORD DOWNLOAD COMPLETE !")});
    EXPECT_EQ(QString::fromStdString(form.pageText()), expectedLines(41, 57).join(QStringLiteral("\r\n")));
    auto* progress = form.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    EXPECT_EQ(progress->value(), 57);
    EXPECT_EQ(progress->maximum(), 57);
    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLatin1(log.readAll()), expectedLines(1, 57).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));

    const QString shot = QDir(test::testOutputDir()).filePath(QStringLiteral("form1-readall.png"));
    EXPECT_TRUE(form.grab().save(shot, "PNG")) << shot.toStdString();
}

}  // namespace
}  // namespace splicerec
