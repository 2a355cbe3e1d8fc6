#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include "window/qt_support.h"

namespace splicerec {
namespace {

TEST(Form1, startsWithEveryControlInPlaceAndOnlyComTestEnabledAtAnyWindowSize)
{
    const struct {
        const char *name, *className, *text;
        QRect geometry;
        bool visible, enabled;
    } controls[] = {
        {"Text1", "QPlainTextEdit", "", {16, 16, 433, 257}, true, true},
        {"Command2", "QPushButton", "StopRead", {376, 320, 73, 25}, true, false},
        {"Command1", "QPushButton", "Start", {16, 320, 73, 25}, true, false},
        {"label1", "QLabel", "", {96, 288, 337, 17}, false, true},
        {"Command3", "QPushButton", "ReadAll", {256, 320, 73, 25}, true, false},
        {"Command4", "QPushButton", "Next Page", {136, 320, 73, 25}, true, false},
        {"Command5", "QPushButton", "Com Test", {16, 280, 73, 25}, true, true},
        {"Label2", "QLabel", "", {96, 288, 345, 17}, true, true},
        {"progressBar", "QProgressBar", "0", {16, 348, 433, 10}, true, true},
    };
    test::FormRig rig;
    EXPECT_EQ(rig.form.objectName() + ' ' + rig.form.windowTitle(), QStringLiteral("form1 Record"));
    EXPECT_EQ(rig.form.size(), QSize(467, 362));
    auto* text1 = rig.control<QPlainTextEdit>("Text1");
    EXPECT_EQ(rig.form.focusWidget(), text1);
    EXPECT_EQ(text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(text1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(rig.control("Command5")->toolTip(), "Tests the link to the splicer on " + rig.instrument.devicePath());
    for (auto* button : rig.form.findChildren<QPushButton*>())
        EXPECT_FALSE(button->autoDefault() || button->isDefault()) << button->objectName().toStdString();
    for (const QSize size : {QSize(467, 362), QSize(800, 600), QSize(300, 200)}) {
        rig.form.resize(size);
        QCoreApplication::processEvents();
        for (const auto& c : controls) {
            SCOPED_TRACE(testing::Message() << c.name << " at window width " << size.width());
            auto* widget = rig.control(c.name);
            ASSERT_NE(widget, nullptr);
            EXPECT_STREQ(widget->metaObject()->className(), c.className);
            EXPECT_EQ(widget->geometry(), c.geometry);
            const char* text = qobject_cast<QPlainTextEdit*>(widget) ? "plainText"
                               : qobject_cast<QProgressBar*>(widget) ? "value" : "text";
            EXPECT_EQ(widget->property(text).toString(), QLatin1String(c.text));
            EXPECT_EQ(widget->isVisible(), c.visible);
            EXPECT_EQ(widget->isEnabled(), c.enabled);
        }
    }

    test::MessageBoxAnswerer answerer;
    for (const char* name : {"Command1", "Command2", "Command3", "Command4"})
        QTest::mouseClick(rig.control(name), Qt::LeftButton);
    EXPECT_TRUE(!rig.port.isOpen() && rig.instrument.received().isEmpty() && answerer.texts().isEmpty());
    EXPECT_EQ(rig.form.statusText(), "");

    for (auto button : {Button::Command1, Button::Command2, Button::Command3, Button::Command4})
        rig.form.setEnabled(button, true);
    QApplication::setActiveWindow(&rig.form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.form));
    QStringList visited;  // labels take no focus
    for (int step = 0; step < 7; ++step, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
        visited << QApplication::focusWidget()->objectName();
    EXPECT_EQ(visited, QStringList({"Text1", "Command2", "Command1", "Command3", "Command4", "Command5", "Text1"}));
}

TEST(Form1, pageTextKeepsCrLfForTheLogicWhileTheEditorShowsPlainLines)
{
    test::FormRig rig;
    auto* text1 = rig.control<QPlainTextEdit>("Text1");
    rig.form.setPageText("NO 00001: a\r\nNO 00002: b");
    EXPECT_EQ(rig.form.pageText(), "NO 00001: a\r\nNO 00002: b");
    EXPECT_EQ(text1->toPlainText(), QStringLiteral("NO 00001: a\nNO 00002: b"));

    text1->moveCursor(QTextCursor::End);
    QTest::keyClick(text1, Qt::Key_Return);
    QTest::keyClicks(text1, "note");
    EXPECT_EQ(rig.form.pageText(), "NO 00001: a\r\nNO 00002: b\r\nnote");
    rig.form.setPageText("NO 00003: c");
    EXPECT_EQ(rig.form.pageText(), "NO 00003: c");
}

TEST(Form1, messageBoxIsModalWithOneOkButtonTheTextAndTheDetailAsWritten)
{
    const std::pair<std::string, std::string> cases[] = {
        {"RECORD DOWNLOAD COMPLETE !", ""},
        {"RECORD SAVE ERROR !!", "cannot open /root/RECORD.txt: Permission denied"},
        {"Unexpected error !", "read failed: <b>not markup</b>"},
    };
    test::FormRig rig;
    for (const auto& [text, detail] : cases) {
        QStringList seen;
        test::MessageBoxAnswerer answerer([&](QMessageBox& box) {
            auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
            QTextDocument shown;
            if (label && label->textFormat() != Qt::PlainText && Qt::mightBeRichText(label->text()))
                shown.setHtml(label->text());
            else if (label)
                shown.setPlainText(label->text());
            seen << box.windowTitle() << box.text() << QString::number(box.buttons().size())
                 << QString::number(box.windowModality()) << shown.toPlainText();
            box.button(QMessageBox::Ok)->click();
        });
        rig.form.showMessage(text, detail);
        EXPECT_EQ(seen, QStringList({"splice-records", QString::fromStdString(text), "1",
                                     QString::number(Qt::ApplicationModal), QString::fromStdString(detail)}));
    }
}

TEST(Form1, closingOrQuittingDuringAWaitEndsItAtOnce)
{
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "requestQuit");
        test::FormRig rig(sim::Behaviour{.silent = true});
        test::MessageBoxAnswerer answerer;
        QTimer::singleShot(0, &rig.form, [&] { close ? void(rig.form.close()) : rig.form.requestQuit(); });
        QTest::mouseClick(rig.control("Command5"), Qt::LeftButton);
        EXPECT_TRUE(rig.form.quitRequested());
        EXPECT_FALSE(rig.form.isVisible());
        // A wait that ran out would have reported the silent cable instead.
        EXPECT_EQ(rig.form.statusText(), "Communicating...");
        EXPECT_TRUE(answerer.texts().isEmpty());
    }
}

}  // namespace
}  // namespace splicerec
