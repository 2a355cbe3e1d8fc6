#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include "window/form1.h"
#include "window/qt_support.h"

namespace splicerec {
namespace {

// Shown and active, as the window a technician works in.
void showActive(Form1& form)
{
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
}

TEST(Form1, showsEveryControlInsideTheWindowClearOfTheOthersAndTabsThroughThemInOrder)
{
    Form1 form;
    form.setPortName("/dev/ttyUSB3");
    showActive(form);
    EXPECT_EQ(form.objectName() + ' ' + form.windowTitle(), QStringLiteral("form1 Record"));
    form.resize(300, 200);
    EXPECT_EQ(form.size(), QSize(467, 362)) << "shrunk below the size that shows every button";
    QList<QWidget*> shown;  // the page, five buttons, the status line and the progress bar
    for (auto* widget : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (widget->isVisible())
            shown << widget;
    EXPECT_EQ(shown.size(), 8);
    for (auto* widget : shown) {
        SCOPED_TRACE(widget->objectName().toStdString());
        EXPECT_TRUE(form.rect().contains(widget->geometry()));
        for (auto* other : shown)
            EXPECT_FALSE(other != widget && other->geometry().intersects(widget->geometry()))
                << other->objectName().toStdString();
    }
    // The real-stack scenarios click each button by its caption and see its own handler run.
    EXPECT_EQ(form.findChild<QWidget*>("Command5")->toolTip(), "Tests the link to the splicer on /dev/ttyUSB3");
    auto* progress = form.findChild<QProgressBar*>("progressBar");
    EXPECT_EQ(progress->text(), "") << "numbers before any download";
    form.showProgress(38, 57);
    EXPECT_TRUE(QTest::qWaitFor([&] { return progress->text() == "38 / 57"; }, 2000)) << progress->text().toStdString();
    QStringList visited;  // labels take no focus
    for (int step = 0; step < 7; ++step, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
        visited << QApplication::focusWidget()->objectName();
    EXPECT_EQ(visited, QStringList({"Text1", "Command2", "Command1", "Command3", "Command4", "Command5", "Text1"}));
}

// Enter presses the focused button as Space does; after the handler the focus stays
// unless the handler left that button disabled: then the next enabled one in tab order.
TEST(Form1, keysPressTheFocusedButtonAndTheFocusMovesOnlyOffADisabledOne)
{
    const struct {
        const char* pressed;
        Qt::Key key;
        std::vector<Button> enabledAfter;
        const char* focusAfter;
    } cases[] = {
        {"Command1", Qt::Key_Space, {Button::Command4, Button::Command3, Button::Command2}, "Command3"},
        {"Command1", Qt::Key_Return, {Button::Command4, Button::Command2}, "Command4"},
        {"Command3", Qt::Key_Enter, {Button::Command1, Button::Command3}, "Command3"},
        {"Command4", Qt::Key_Space, {Button::Command1}, "Command5"},
        {"Command5", Qt::Key_Return, {}, "Command5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pressed << " by key " << c.key);
        Form1 form;
        showActive(form);
        int presses = 0;
        const auto handler = [&] {
            ++presses;
            for (auto button : {Button::Command1, Button::Command2, Button::Command3, Button::Command4})
                form.setEnabled(button, false);
            form.pumpEvents();
            for (auto button : c.enabledAfter)
                form.setEnabled(button, true);
        };
        for (auto signal : {&Form1::comTestPressed, &Form1::startPressed, &Form1::nextPagePressed,
                            &Form1::readAllPressed, &Form1::stopReadPressed})
            QObject::connect(&form, signal, handler);
        auto* button = form.findChild<QPushButton*>(c.pressed);
        button->setFocus();
        QTest::keyClick(button, c.key);
        EXPECT_EQ(presses, 1);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), c.focusAfter);
    }
}

TEST(Form1, pageTextKeepsCrLfForTheLogicWhileTheEditorShowsPlainLines)
{
    Form1 form;
    auto* text1 = form.findChild<QPlainTextEdit*>("Text1");
    form.setPageText("NO 00001: a\r\nNO 00002: b");
    EXPECT_EQ(form.pageText(), "NO 00001: a\r\nNO 00002: b");
    QCoreApplication::processEvents();  // the page is drawn from the event loop
    EXPECT_EQ(text1->toPlainText(), QStringLiteral("NO 00001: a\nNO 00002: b"));

    text1->moveCursor(QTextCursor::End);
    QTest::keyClick(text1, Qt::Key_Return);
    QTest::keyClicks(text1, "note");
    EXPECT_EQ(form.pageText(), "NO 00001: a\r\nNO 00002: b\r\nnote");

    // A record arrives, and the technician types before the page is drawn again.
    form.setPageText(form.pageText() + "\r\nNO 00003: c");
    QTest::keyClicks(text1, "!");
    EXPECT_EQ(form.pageText(), "NO 00001: a\r\nNO 00002: b\r\nnote\r\nNO 00003: c!");
}

// Counts the paint events of the widgets it watches.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(std::initializer_list<QWidget*> widgets)
    {
        for (auto* widget : widgets)
            widget->installEventFilter(this);
    }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// What the record handler does for each record, as fast as the records come: nothing may
// be painted while it runs, since the next request waits for it, and the window is
// drawn at most every 100 ms, yet shows the last record once they stop.
TEST(Form1, recordsArePaintedFromTheEventLoopAtMostTenTimesASecondAndTheLastIsShown)
{
    Form1 form;
    showActive(form);
    auto* text1 = form.findChild<QPlainTextEdit*>("Text1");
    auto* progress = form.findChild<QProgressBar*>("progressBar");
    PaintCounter painted{text1->viewport(), progress};
    PaintCounter barPainted{progress};  // the page's cursor blinks; the bar paints only when drawn
    QTest::qWait(300);  // the window's first paints

    std::string page;
    QStringList lines;
    int paintsInHandler = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    const int barPaintsBefore = barPainted.paints;
    int record = 0;
    while (elapsed.elapsed() < 500) {
        ++record;
        const std::string line = "NO " + std::to_string(record) + ": record";
        lines << QString::fromStdString(line);
        page += (page.empty() ? "" : "\r\n") + line;
        const int before = painted.paints;
        form.setRecordCaption(line);
        form.setPageText(page);
        form.showProgress(record, 1000);
        paintsInHandler += painted.paints - before;
        QTest::qWait(2);
    }
    const int barPaintsWhileComing = barPainted.paints - barPaintsBefore;
    const auto shownNow = QStringLiteral("%1 / 1000").arg(record);
    EXPECT_TRUE(QTest::qWaitFor([&] { return progress->text() == shownNow && text1->toPlainText() == lines.join('\n'); },
                                2000))
        << progress->text().toStdString();
    EXPECT_EQ(paintsInHandler, 0);
    // A draw at most every 100 ms, and one at the start.
    EXPECT_LE(barPaintsWhileComing, elapsed.elapsed() / 100 + 2) << record << " records";
    EXPECT_GT(record, 50) << "too few records to tell a throttled window from one drawn each time";
}

// The texts themselves are compared in every scenario that opens a box; here, the rest of the box.
TEST(Form1, messageBoxIsModalWithOneOkButtonAndShowsTheDetailAsWritten)
{
    Form1 form;
    QStringList seen;
    QTimer::singleShot(0, [&] {  // inside the box's own loop
        auto& box = *qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
        QTextDocument shown;
        if (label->textFormat() != Qt::PlainText && Qt::mightBeRichText(label->text()))
            shown.setHtml(label->text());
        else
            shown.setPlainText(label->text());
        seen << box.windowTitle() << box.text() << QString::number(box.buttons().size())
             << QString::number(box.windowModality()) << shown.toPlainText();
        box.button(QMessageBox::Ok)->click();
    });
    form.showMessage("Unexpected error !", "read failed: <b>not markup</b>");
    EXPECT_EQ(seen, QStringList({"splice-records", "Unexpected error !", "1", QString::number(Qt::ApplicationModal),
                                 "read failed: <b>not markup</b>"}));
}

// A handler that waits pumps until the window says quit; one that shows a box is inside
// its exec. Closing the window or quitting must end both at once.
TEST(Form1, closingOrQuittingEndsAWaitAndClosesTheOpenBox)
{
    enum How { Quit, Close, CtrlQ };
    enum Open { Nothing, MessageBox, PortChoice };
    for (const How how : {Quit, Close, CtrlQ}) {
        for (const Open open : {Nothing, MessageBox, PortChoice}) {
            if (how == CtrlQ && open != Nothing)
                continue;  // the key goes to the box, which has the focus
            SCOPED_TRACE(testing::Message() << "way " << how << ", open " << open);
            Form1 form;
            showActive(form);
            long pumps = 0;
            bool returned = false;
            QObject::connect(&form, &Form1::comTestPressed, [&] {
                if (open == MessageBox)
                    form.showMessage("Device not responding ! Please check the cable !");
                if (open == PortChoice) {
                    EXPECT_EQ(form.askForPort({{"/dev/ttyUSB0", "", "", true}}, ""), std::nullopt);
                }
                while (!form.quitRequested() && ++pumps < 100'000)
                    form.pumpEvents();
                form.showMessage("nobody reads this");  // the window is closing
                returned = true;
            });
            QTimer::singleShot(50, &form, [&] {
                if (how == CtrlQ)
                    QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
                else
                    how == Close ? void(form.close()) : form.requestQuit();
            });
            QTest::mouseClick(form.findChild<QWidget*>("Command5"), Qt::LeftButton);
            EXPECT_TRUE(returned && form.quitRequested());
            EXPECT_LT(pumps, 100'000);
            EXPECT_FALSE(form.isVisible());
            EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        }
    }
}

}  // namespace
}  // namespace splicerec
