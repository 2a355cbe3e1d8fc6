#pragma once

#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "log/record_log.h"
#include "protocol/clock.h"
#include "protocol/controller.h"
#include "serial/serial_port.h"
#include "window/event_pump.h"
#include "window/window_ops.h"

class QLabel;
class QMessageBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace splicerec {

// The program's only window: the page of records, the status line and the five buttons.
// The buttons and the port's receive notification go to the controller; the controller
// changes the window only through WindowOps.
class Form1 : public QWidget, public WindowOps {
    Q_OBJECT

public:
    Form1(SerialPort& port, const Clock& clock, RecordLog log, QWidget* parent = nullptr);
    ~Form1() override;

    Controller& controller() { return controller_; }

    // Ends every wait, closes any open message box and the window, and leaves the main
    // event loop: for signals, and for tests.
    void requestQuit();

    void setEnabled(Button button, bool enabled) override;
    void setStatusText(const std::string& text) override;
    std::string statusText() const override;
    void setPageText(const std::string& text) override;
    std::string pageText() const override;
    void setRecordCaption(const std::string& text) override;
    std::string recordCaption() const override;
    void showProgress(int received, int total) override;
    void showMessage(const std::string& text, const std::string& detail = {}) override;
    void pumpEvents() override;
    bool quitRequested() const override { return quitRequested_; }

    // QWidget::setEnabled would otherwise be hidden by the WindowOps overload.
    using QWidget::setEnabled;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    QPushButton* button(Button which) const;
    void closeMessageBoxes();
    template <typename Handler>
    void runHandler(Handler handler) noexcept;

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

    std::vector<QMessageBox*> openBoxes_;  // innermost last
    bool quitRequested_ = false;
    EventPump pump_;
    Controller controller_;
};

}  // namespace splicerec
