#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

#include "protocol/clock.h"
#include "pty_instrument.h"
#include "serial/qt_serial_port.h"
#include "window/form1.h"
#include "window/qt_support.h"

namespace splicerec {
namespace {

// The window on the real port, with a simulated splicer at the far end of a pty.
struct Rig {
    explicit Rig(sim::Behaviour behaviour = {})
        : instrument(behaviour), port(instrument.devicePath()),
          form(port, clock, RecordLog(dir.filePath(QStringLiteral("RECORD.txt")).toStdString()))
    {
    }

    template <typename Widget = QWidget>
    Widget* control(const char* name)
    {
        auto* widget = form.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QTemporaryDir dir;
    sim::PtyInstrument instrument;
    QtSerialPort port;
    SteadyClock clock;
    Form1 form;
};

QString textOf(QWidget* widget)
{
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(widget))
        return edit->toPlainText();
    return {};
}

struct ControlLayout {
    const char* name;
    const char* className;
    const char* text;
    QRect geometry;
};

const ControlLayout kLayout[] = {
    {"Text1", "QPlainTextEdit", "", {16, 16, 433, 257}},
    {"Command2", "QPushButton", "StopRead", {376, 320, 73, 25}},
    {"Command1", "QPushButton", "Start", {16, 320, 73, 25}},
    {"label1", "QLabel", "", {96, 288, 337, 17}},
    {"Command3", "QPushButton", "ReadAll", {256, 320, 73, 25}},
    {"Command4", "QPushButton", "Next Page", {136, 320, 73, 25}},
    {"Command5", "QPushButton", "Com Test", {16, 280, 73, 25}},
    {"Label2", "QLabel", "", {96, 288, 345, 17}},
    {"progressBar", "QProgressBar", "", {16, 348, 433, 10}},
};

TEST(Form1Layout, controlsHaveTheirNamesPlacesAndTextsAndStayPutWhenResized)
{
    Rig rig;
    rig.form.show();
    EXPECT_EQ(rig.form.objectName(), QStringLiteral("form1"));
    EXPECT_EQ(rig.form.windowTitle(), QStringLiteral("Record"));
    EXPECT_EQ(rig.form.size(), QSize(467, 362));

    for (const QSize size : {QSize(467, 362), QSize(800, 600), QSize(300, 200)}) {
        rig.form.resize(size);
        QCoreApplication::processEvents();
        for (const auto& expected : kLayout) {
            SCOPED_TRACE(std::string(expected.name) + " at window width " + std::to_string(size.width()));
            auto* widget = rig.control(expected.name);
            ASSERT_NE(widget, nullptr);
            EXPECT_STREQ(widget->metaObject()->className(), expected.className);
            EXPECT_EQ(widget->geometry(), expected.geometry);
            EXPECT_EQ(textOf(widget), QString::fromLatin1(expected.text));
        }
    }
}

TEST(Form1StartUp, onlyComTestIsEnabledAndTheCaptionStaysHidden)
{
    Rig rig;
    rig.form.show();
    QCoreApplication::processEvents();

    for (const char* name : {"Command1", "Command2", "Command3", "Command4"})
        EXPECT_FALSE(rig.control(name)->isEnabled()) << name;
    EXPECT_TRUE(rig.control("Command5")->isEnabled());
    EXPECT_EQ(rig.control("Command5")->toolTip(), "Tests the link to the splicer on " + rig.instrument.devicePath());
    for (auto* button : rig.form.findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
    }

    EXPECT_FALSE(rig.control("label1")->isVisible());
    EXPECT_TRUE(rig.control("Label2")->isVisible());
    auto* text1 = rig.control<QPlainTextEdit>("Text1");
    EXPECT_EQ(text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(text1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(text1->isReadOnly());
    EXPECT_EQ(rig.form.focusWidget(), text1);
    EXPECT_EQ(rig.control<QProgressBar>("progressBar")->value(), 0);
    EXPECT_FALSE(rig.port.isOpen());
}

TEST(Form1StartUp, clickingADisabledButtonDoesNothing)
{
    Rig rig;
    test::MessageBoxAnswerer answerer;
    rig.form.show();
    for (const char* name : {"Command1", "Command2", "Command3", "Command4"}) {
        QTest::mouseClick(rig.control(name), Qt::LeftButton);
        QCoreApplication::processEvents();
        EXPECT_FALSE(rig.port.isOpen()) << name;
    }
    EXPECT_EQ(rig.form.statusText(), "");
    EXPECT_TRUE(answerer.texts().isEmpty());
    EXPECT_TRUE(rig.instrument.received().isEmpty());
}

TEST(Form1StartUp, tabWalksTheControlsInTheirOrder)
{
    Rig rig;
    for (auto button : {Button::Command1, Button::Command2, Button::Command3, Button::Command4})
        rig.form.setEnabled(button, true);
    rig.form.show();
    QApplication::setActiveWindow(&rig.form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.form));
    rig.control("Text1")->setFocus();

    QStringList visited;
    for (int step = 0; step < 7; ++step) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // Labels take no focus, so the walk goes round the editor and the five buttons.
    EXPECT_EQ(visited, QStringList({"Text1", "Command2", "Command1", "Command3", "Command4", "Command5", "Text1"}));
}

TEST(Form1Page, theLogicGetsBackExactlyWhatItSetWhileTheEditorShowsPlainLines)
{
    Rig rig;
    auto* text1 = rig.control<QPlainTextEdit>("Text1");

    rig.form.setPageText("NO 00001: a\r\nNO 00002: b");
    EXPECT_EQ(rig.form.pageText(), "NO 00001: a\r\nNO 00002: b");
    // No stray carriage return may reach the display.
    EXPECT_EQ(text1->toPlainText(), QStringLiteral("NO 00001: a\nNO 00002: b"));
    EXPECT_EQ(text1->document()->blockCount(), 2);

    // What the technician types joins the page with the same line breaks.
    text1->moveCursor(QTextCursor::End);
    QTest::keyClick(text1, Qt::Key_Return);
    QTest::keyClicks(text1, "note");
    EXPECT_EQ(rig.form.pageText(), "NO 00001: a\r\nNO 00002: b\r\nnote");

    rig.form.setPageText("NO 00003: c");
    EXPECT_EQ(rig.form.pageText(), "NO 00003: c");
}

TEST(Form1Message, boxIsModalWithOneOkButtonTheTextAndTheDetail)
{
    struct Case {
        std::string text, detail;
    };
    const Case cases[] = {
        {"RECORD DOWNLOAD COMPLETE !", ""},
        {"RECORD SAVE ERROR !!", "cannot open /root/RECORD.txt: Permission denied"},
        {"Unexpected error !", "read failed: <b>not markup</b>"},
    };
    Rig rig;
    rig.form.show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QString title, text, shownDetail;
        int buttons = 0;
        Qt::WindowModality modality = Qt::NonModal;
        test::MessageBoxAnswerer answerer([&](QMessageBox& box) {
            title = box.windowTitle();
            text = box.text();
            buttons = static_cast<int>(box.buttons().size());
            modality = box.windowModality();
            // What the technician reads, whatever format the label chose.
            if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
                QTextDocument rendered;
                if (label->textFormat() != Qt::PlainText && Qt::mightBeRichText(label->text()))
                    rendered.setHtml(label->text());
                else
                    rendered.setPlainText(label->text());
                shownDetail = rendered.toPlainText();
            }
            box.button(QMessageBox::Ok)->click();
        });
        rig.form.showMessage(c.text, c.detail);

        EXPECT_EQ(title, QStringLiteral("splice-records"));
        EXPECT_EQ(text, QString::fromStdString(c.text));
        EXPECT_EQ(buttons, 1);
        EXPECT_EQ(modality, Qt::ApplicationModal);
        EXPECT_EQ(shownDetail, QString::fromStdString(c.detail));
    }
}

TEST(Form1Quit, closingOrQuittingDuringComTestEndsTheWaitAtOnce)
{
    struct Case {
        const char* how;
        std::function<void(Form1&)> quit;
    };
    const Case cases[] = {
        {"requestQuit", [](Form1& form) { form.requestQuit(); }},
        {"close", [](Form1& form) { form.close(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        Rig rig(sim::Behaviour{.silent = true});
        test::MessageBoxAnswerer answerer;
        rig.form.show();
        // Runs at the first pump of the link test's wait.
        QTimer::singleShot(0, &rig.form, [&] { c.quit(rig.form); });
        QTest::mouseClick(rig.control("Command5"), Qt::LeftButton);

        EXPECT_TRUE(rig.form.quitRequested());
        EXPECT_FALSE(rig.form.isVisible());
        // A wait that ran out would have reported the silent cable instead.
        EXPECT_EQ(rig.form.statusText(), "Communicating...");
        EXPECT_TRUE(answerer.texts().isEmpty());
    }
}

TEST(Form1Quit, quittingFromAnOpenBoxClosesItAndNoFurtherBoxOpens)
{
    // No main loop runs here, so nothing but the window itself can close the box.
    Rig rig;
    bool stillOpen = false;
    test::MessageBoxAnswerer answerer([&](QMessageBox& box) {
        rig.form.requestQuit();
        stillOpen = box.isVisible();
        if (stillOpen)
            box.button(QMessageBox::Ok)->click();
    });
    rig.form.show();
    rig.form.showMessage("RECORD DOWNLOAD COMPLETE !");
    EXPECT_FALSE(stillOpen);

    rig.form.showMessage("Reading record stopped !");
    EXPECT_EQ(answerer.texts(), QStringList{QStringLiteral("RECORD DOWNLOAD COMPLETE !")});
}

// The completion box opens in the receive handler, nested in ReadAll's wait, nested in
// the main loop; quitting from it must unwind all three and end exec() with 0.
int quitFromTheCompletionBox()
{
    Rig rig;
    test::MessageBoxAnswerer answerer([&](QMessageBox&) { rig.form.requestQuit(); });
    rig.form.show();
    QTest::mouseClick(rig.control("Command5"), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return rig.form.statusText().starts_with("Communication success"); }, 10000)) {
        std::fprintf(stderr, "link test failed: %s\n", rig.form.statusText().c_str());
        return 1;
    }

    QTimer::singleShot(0, &rig.form, [&] { QTest::mouseClick(rig.control("Command3"), Qt::LeftButton); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(30000);
    const int exitCode = QApplication::exec();

    const QStringList expectedBoxes{QStringLiteral("RECORD DOWNLOAD COMPLETE !")};
    const bool ok = exitCode == 0 && answerer.texts() == expectedBoxes && !rig.form.isVisible() &&
                    QApplication::activeModalWidget() == nullptr;
    std::fprintf(stderr, "exec returned %d after boxes [%s]; window %s: %s\n", exitCode,
                 qPrintable(answerer.texts().join(", ")), rig.form.isVisible() ? "visible" : "closed",
                 ok ? "ended normally" : "wrong");
    return ok ? 0 : 1;
}

// After exec() has returned, Qt still delivers a queued quit that ends every later event
// loop in the process at once, so this runs in a process of its own.
TEST(Form1QuitDeathTest, quittingFromAMessageBoxInsideADownloadEndsTheProgramNormally)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(quitFromTheCompletionBox()), ::testing::ExitedWithCode(0), "ended normally");
}

}  // namespace
}  // namespace splicerec
