#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "window/event_pump.h"
#include "window/port_dialog.h"
#include "protocol/window_ops.h"

class QAbstractNativeEventFilter;
class QLabel;
class QDialog;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace splicerec {

// The program's only window: the page of records, the status line and the five buttons.
// It knows neither the port nor the protocol: a click is a signal, and whoever owns the
// window connects it to a handler that changes the window through WindowOps.
class Form1 : public QWidget, public WindowOps {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Names the device in the Com Test tooltip: the window has no port picker.
    void setPortName(const QString& device);

    // Ends every wait, closes any open message box and the window, and leaves the main
    // event loop: for signals, and for tests.
    void requestQuit();

    // Lets the technician pick the splicer's port; nothing when they cancel or the
    // program quits meanwhile.
    std::optional<std::string> askForPort(const std::vector<PortOffer>& ports, const std::string& current);

    void setEnabled(Button button, bool enabled) override;
    bool buttonEnabled(Button button) const;
    void setStatusText(const std::string& text) override;
    std::string statusText() const override;
    void setPageText(const std::string& text) override;
    std::string pageText() const override;
    void setRecordCaption(const std::string& text) override;
    std::string recordCaption() const override;
    void showProgress(int received, int total) override;
    void showMessage(const std::string& text, const std::string& detail = {}) override;
    void pumpEvents(bool userInput = true) override;
    bool quitRequested() const override { return quitRequested_; }

    // QWidget::setEnabled would otherwise be hidden by the WindowOps overload.
    using QWidget::setEnabled;

signals:
    void comTestPressed();   // Command5
    void startPressed();     // Command1
    void nextPagePressed();  // Command4
    void readAllPressed();   // Command3
    void stopReadPressed();  // Command2

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    QPushButton* button(Button which) const;
    void closeMessageBoxes();
    int runBox(QDialog& box);
    // After a handler: the focus stays on its button, or goes to the next enabled one.
    void keepFocusNear(QPushButton* pressed);
    void windowTakenAway();
    void scheduleDrawing();
    void drawIfDue();
    void draw();
    void showPage();
    void showBar();

    QPlainTextEdit* text1_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* command3_ = nullptr;
    QPushButton* command4_ = nullptr;
    QPushButton* command5_ = nullptr;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QProgressBar* progressBar_ = nullptr;

    // The page exactly as the logic set it, CR LF included, and as the editor shows it.
    std::string pageText_;
    QString shownPageText_;
    static constexpr int kDrawIntervalMs = 100;
    bool pageUpdatePending_ = false;
    bool drawingPosted_ = false;
    QElapsedTimer lastDrawn_;
    QTimer lateDrawing_;  // draws what is left once the records stop coming
    std::optional<std::pair<int, int>> pendingProgress_;  // received and total, not yet drawn

    std::vector<QDialog*> openBoxes_;  // message boxes and the port dialog, innermost last
    bool quitRequested_ = false;
    unsigned long presses_ = 0;
    EventPump pump_;
    std::unique_ptr<QAbstractNativeEventFilter> destroyedWatch_;
};

}  // namespace splicerec
