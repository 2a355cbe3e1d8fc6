#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include "instrument.h"
#include "protocol/record_line.h"
#include "window/qt_support.h"

namespace splicerec {
namespace {

QString expectedLines(int first, int last, const char* separator = "\r\n")
{
    QStringList lines;
    for (int number = first; number <= last; ++number)
        lines << QString::fromStdString(RecordLine::fromFrame(sim::Instrument::frame(number)).text);
    return lines.join(QLatin1String(separator));
}

// Everything real but the splicer; the technician's clicks go through the mouse.
struct EndToEnd : test::FormRig {
    explicit EndToEnd(sim::Behaviour b) : FormRig(b) { EXPECT_TRUE(QTest::qWaitForWindowExposed(&form)); }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }
    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    QString log() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QStringLiteral("(no log)");
    }
    void screenshot(const char* name)
    {
        const QString shot = QDir(test::testOutputDir()).filePath(QLatin1String(name));
        EXPECT_TRUE(form.grab().save(shot, "PNG")) << shot.toStdString();
    }
    test::MessageBoxAnswerer answerer;
};

TEST(Form1EndToEnd, comTestThenStartShowsTheFirstPageAndLogsIt)
{
    EndToEnd rig(sim::Behaviour{.paced = true});
    rig.click("Command5");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rig.form.statusText() == "Communication success !57 records in the device!"; }, 10000))
        << rig.form.statusText();
    EXPECT_TRUE(rig.button("Command1")->isEnabled() && rig.button("Command3")->isEnabled());
    EXPECT_FALSE(rig.button("Command2")->isEnabled() || rig.button("Command4")->isEnabled());

    rig.click("Command1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.button("Command4")->isEnabled(); }, 10000));
    EXPECT_EQ(QString::fromStdString(rig.form.pageText()), expectedLines(1, 20));
    EXPECT_EQ(rig.control<QPlainTextEdit>("Text1")->toPlainText(), expectedLines(1, 20, "\n"));
    const auto* progress = rig.control<QProgressBar>("progressBar");
    EXPECT_EQ(std::pair(progress->value(), progress->maximum()), std::pair(20, 57));
    EXPECT_TRUE(rig.button("Command2")->isEnabled() && rig.button("Command3")->isEnabled());
    EXPECT_TRUE(rig.answerer.texts().isEmpty());
    EXPECT_EQ(rig.log(), expectedLines(1, 20) + "\r\n");
    rig.screenshot("form1-start.png");
}

// The whole download as the technician runs it; its picture is the README's screenshot.
TEST(Form1EndToEnd, readAllDownloadsEveryRecordAndLeavesTheLastPage)
{
    // 57 records leave a last page of 17 lines: all of them fit in the text area.
    EndToEnd rig(sim::Behaviour{.records = 57});
    rig.click("Command5");
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.button("Command3")->isEnabled(); }, 10000)) << rig.form.statusText();
    rig.click("Command3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.answerer.texts().isEmpty(); }, 30000));

    EXPECT_EQ(rig.answerer.texts(), QStringList{QStringLiteral("RECORD DOWNLOAD COMPLETE !")});
    EXPECT_EQ(QString::fromStdString(rig.form.pageText()), expectedLines(41, 57));
    const auto* progress = rig.control<QProgressBar>("progressBar");
    EXPECT_EQ(std::pair(progress->value(), progress->maximum()), std::pair(57, 57));
    EXPECT_EQ(rig.log(), expectedLines(1, 57) + "\r\n");
    rig.screenshot("form1-readall.png");
}

}  // namespace
}  // namespace splicerec
