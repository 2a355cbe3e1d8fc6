#include "window/form1.h"

#include <QAbstractNativeEventFilter>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QShortcut>
#include <QPlatformSurfaceEvent>
#include <QTimer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>

namespace splicerec {
namespace {

// On X11 a window destroyed by another client (xdotool windowclose, a crashed window
// manager) is only a DestroyNotify event; Qt itself does not act on it.
class WindowDestroyedWatch final : public QAbstractNativeEventFilter {
public:
    WindowDestroyedWatch(QWidget& window, std::function<void()> onDestroyed)
        : window_(window), onDestroyed_(std::move(onDestroyed))
    {
    }
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        constexpr std::uint8_t kDestroyNotify = 17;  // X11 protocol: type, pad, sequence, event, window
        if (eventType != "xcb_generic_event_t" || !window_.testAttribute(Qt::WA_WState_Created))
            return false;
        const auto* event = static_cast<const std::uint8_t*>(message);
        std::uint32_t destroyed = 0;
        std::memcpy(&destroyed, event + 8, sizeof destroyed);
        if ((event[0] & 0x7F) == kDestroyNotify && destroyed == window_.winId())
            onDestroyed_();
        return false;
    }

private:
    QWidget& window_;
    std::function<void()> onDestroyed_;
};

// The editor turns CR LF into a bare line break, so the page is shown with "\n" and
// the exact text is kept aside.
QString shownForm(const std::string& text)
{
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, int left)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, 320, 73, 25);
    // No default button: Enter presses only the focused one, and Escape none.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent)
{
    buildControls();
    lateDrawing_.setSingleShot(true);
    connect(&lateDrawing_, &QTimer::timeout, this, &Form1::draw);
    destroyedWatch_ = std::make_unique<WindowDestroyedWatch>(*this, [this] { windowTakenAway(); });
    QCoreApplication::instance()->installNativeEventFilter(destroyedWatch_.get());
    const std::pair<QPushButton*, void (Form1::*)()> handlers[] = {
        {command5_, &Form1::comTestPressed}, {command1_, &Form1::startPressed}, {command4_, &Form1::nextPagePressed},
        {command3_, &Form1::readAllPressed}, {command2_, &Form1::stopReadPressed}};
    for (const auto& [button, signal] : handlers) {
        connect(button, &QPushButton::clicked, this, [this, button, signal] {
            const auto press = ++presses_;
            (this->*signal)();
            // A button pressed inside this handler's waits placed the focus itself.
            if (press == presses_)
                keepFocusNear(button);
        });
        button->installEventFilter(this);
    }
    text1_->installEventFilter(this);
    text1_->viewport()->installEventFilter(this);
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &QWidget::close);
}

void Form1::keepFocusNear(QPushButton* pressed)
{
    // A handler disables its own button while it runs, and Qt then hands the focus on,
    // often to Com Test: a second Space would restart the link test.
    if (quitRequested_ || focusWidget() == text1_)
        return;
    if (pressed->isEnabled())
        return pressed->setFocus();
    for (auto* next = pressed->nextInFocusChain(); next != pressed; next = next->nextInFocusChain()) {
        if (qobject_cast<QPushButton*>(next) && next->parentWidget() == this && next->isEnabled())
            return next->setFocus();
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // What the technician types or pastes into the page goes into the page as the logic
    // last set it, so a page still waiting to be drawn is drawn first.
    if ((watched == text1_ || watched == text1_->viewport()) && pageUpdatePending_) {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::DragEnter:
        case QEvent::Drop:
            draw();
            break;
        default:
            break;
        }
    }
    // Enter presses the focused button as Space does.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & ~Qt::KeypadModifier)) {
            button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

Form1::~Form1()
{
    QCoreApplication::instance()->removeNativeEventFilter(destroyedWatch_.get());
}

void Form1::windowTakenAway()
{
    // Nobody can see the program any more, and it would hold the port for ever: end it
    // as if the window had been closed.
    if (!quitRequested_)
        QTimer::singleShot(0, this, &Form1::requestQuit);
}

void Form1::buildControls()
{
    setObjectName(QStringLiteral("form1"));
    setWindowTitle(QStringLiteral("Record"));
    resize(467, 362);
    // Smaller, the buttons would be cut off: nothing moves when the window is resized.
    setMinimumSize(467, 362);
    setWindowIcon(QIcon::fromTheme(QStringLiteral("splice-records"), QIcon(QStringLiteral(":/icons/splice-records.png"))));

    text1_ = new QPlainTextEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setGeometry(16, 16, 433, 257);
    text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab walks through the controls, as everywhere else in the window.
    text1_->setTabChangesFocus(true);

    command2_ = makeButton(this, "Command2", QStringLiteral("StopRead"), 376);
    command1_ = makeButton(this, "Command1", QStringLiteral("Start"), 16);

    label1_ = new QLabel(this);
    label1_->setObjectName(QStringLiteral("label1"));
    label1_->setGeometry(96, 288, 337, 17);
    label1_->setTextFormat(Qt::PlainText);
    label1_->hide();  // carries the record line from the receive handler to the page

    command3_ = makeButton(this, "Command3", QStringLiteral("ReadAll"), 256);
    command4_ = makeButton(this, "Command4", QStringLiteral("Next Page"), 136);
    command5_ = makeButton(this, "Command5", QStringLiteral("Com Test"), 16);
    command5_->move(16, 280);

    label2_ = new QLabel(this);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setGeometry(96, 288, 345, 17);
    label2_->setTextFormat(Qt::PlainText);

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("progressBar"));
    progressBar_->setGeometry(16, 347, 433, 14);
    QFont small = progressBar_->font();
    small.setPixelSize(10);
    progressBar_->setFont(small);
    progressBar_->setAlignment(Qt::AlignCenter);
    progressBar_->setFormat(QString());  // no numbers before the first download
    progressBar_->setRange(0, 1);        // 0..0 would animate as "busy"
    progressBar_->setValue(0);

    QWidget* order[] = {text1_, command2_, command1_, label1_, command3_, command4_, command5_, label2_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    text1_->setFocus();
}

QPushButton* Form1::button(Button which) const
{
    switch (which) {
    case Button::Command1: return command1_;
    case Button::Command2: return command2_;
    case Button::Command3: return command3_;
    case Button::Command4: return command4_;
    }
    return nullptr;
}

void Form1::setPortName(const QString& device)
{
    command5_->setToolTip(QStringLiteral("Tests the link to the splicer on %1").arg(device));
}

void Form1::setEnabled(Button which, bool enabled)
{
    if (auto* target = button(which))
        target->setEnabled(enabled);
}

bool Form1::buttonEnabled(Button which) const
{
    return button(which)->isEnabled();
}

void Form1::setStatusText(const std::string& text)
{
    label2_->setText(QString::fromStdString(text));
}

std::string Form1::statusText() const
{
    return label2_->text().toStdString();
}

void Form1::setPageText(const std::string& text)
{
    pageText_ = text;
    shownPageText_ = shownForm(text);
    pageUpdatePending_ = true;
    scheduleDrawing();
}

void Form1::scheduleDrawing()
{
    // Drawn from the event loop, not here: the request for the next record must not wait
    // for the window to be drawn while the instrument idles.
    if (!drawingPosted_) {
        drawingPosted_ = true;
        QTimer::singleShot(0, this, &Form1::drawIfDue);
    }
}

void Form1::drawIfDue()
{
    drawingPosted_ = false;
    // A record arrives every 37.5 ms, and drawing each one cost more than all else the
    // program does meanwhile: the page and the bar are drawn at most every
    // kDrawIntervalMs, right after a request has gone out, and once the records stop.
    if (!lastDrawn_.isValid() || lastDrawn_.elapsed() >= kDrawIntervalMs)
        draw();
    else
        lateDrawing_.start(kDrawIntervalMs);
}

void Form1::draw()
{
    lateDrawing_.stop();
    lastDrawn_.start();
    if (pageUpdatePending_)
        showPage();
    if (pendingProgress_)
        showBar();
}

void Form1::showPage()
{
    pageUpdatePending_ = false;
    // A record added to the page is one more paragraph; laying out the whole page again
    // for it cost most of the window's CPU during a download.
    const QString shown = text1_->toPlainText();
    if (!shown.isEmpty() && shownPageText_.size() > shown.size() && shownPageText_.startsWith(shown) &&
        shownPageText_.at(shown.size()) == QLatin1Char('\n'))
        text1_->appendPlainText(shownPageText_.mid(shown.size() + 1));
    else
        text1_->setPlainText(shownPageText_);
    // Twenty lines do not all fit the box, and it has no scroll bars: keep the record
    // that just arrived in sight.
    text1_->moveCursor(QTextCursor::End);
}

std::string Form1::pageText() const
{
    if (pageUpdatePending_)
        return pageText_;
    const QString shown = text1_->toPlainText();
    if (shown == shownPageText_)
        return pageText_;
    // The technician typed into the page: hand back the text with its line breaks as
    // CR LF, like the lines the program put there.
    return QString(shown).replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toStdString();
}

void Form1::setRecordCaption(const std::string& text)
{
    label1_->setText(QString::fromStdString(text));
}

std::string Form1::recordCaption() const
{
    return label1_->text().toStdString();
}

void Form1::showProgress(int received, int total)
{
    // Drawn from the event loop, as the page is: QProgressBar::setValue paints at once
    // whenever its text changes, and with the numbers on it that was every record, a
    // quarter of the window's CPU inside the record handler, before the next request.
    pendingProgress_ = {received, total};
    scheduleDrawing();
}

void Form1::showBar()
{
    const auto [received, total] = *std::exchange(pendingProgress_, std::nullopt);
    const int maximum = std::max(total, 1);
    // Without updates the bar only marks itself dirty, and is drawn with the page in one
    // pass instead of a repaint of its own.
    progressBar_->setUpdatesEnabled(false);
    progressBar_->setMaximum(maximum);
    progressBar_->setValue(std::clamp(received, 0, maximum));
    progressBar_->setFormat(QStringLiteral("%v / %m"));
    progressBar_->setUpdatesEnabled(true);
}

void Form1::showMessage(const std::string& text, const std::string& detail)
{
    if (quitRequested_)
        return;  // nobody is left to read it, and it would hold the closing program

    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    if (!detail.empty()) {
        // The informative label guesses its format; a reason quoting "<...>" must not
        // be taken for markup.
        const QString plain = QString::fromStdString(detail);
        box.setInformativeText(Qt::mightBeRichText(plain) ? Qt::convertFromPlainText(plain) : plain);
    }

    runBox(box);
}

std::optional<std::string> Form1::askForPort(const std::vector<PortOffer>& ports, const std::string& current)
{
    if (quitRequested_)
        return std::nullopt;
    PortDialog dialog(ports, current, this);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (runBox(dialog) != QDialog::Accepted || quitRequested_ || dialog.choice().empty())
        return std::nullopt;
    return dialog.choice();
}

int Form1::runBox(QDialog& box)
{
    openBoxes_.push_back(&box);
    struct Forget {
        std::vector<QDialog*>& boxes;
        QDialog* box;
        ~Forget() { boxes.erase(std::remove(boxes.begin(), boxes.end(), box), boxes.end()); }
    } forget{openBoxes_, &box};
    return box.exec();
}

void Form1::pumpEvents(bool userInput)
{
    pump_.pumpOnce(userInput);
}

void Form1::closeMessageBoxes()
{
    // Innermost first: each exec returns as its box closes, and the handler that opened
    // it then meets the quit flag at its next wait.
    const auto boxes = openBoxes_;
    for (auto it = boxes.rbegin(); it != boxes.rend(); ++it)
        (*it)->done(QDialog::Rejected);
}

void Form1::closeEvent(QCloseEvent* event)
{
    quitRequested_ = true;
    closeMessageBoxes();
    event->accept();
}

bool Form1::event(QEvent* event)
{
    if (event->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
        windowTakenAway();
    return QWidget::event(event);
}

void Form1::requestQuit()
{
    quitRequested_ = true;
    closeMessageBoxes();
    close();
    QCoreApplication::quit();
}

}  // namespace splicerec
