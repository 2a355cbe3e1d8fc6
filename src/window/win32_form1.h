#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/port_decision.h"
#include "protocol/window_ops.h"

namespace splicerec {

// The program's only window on Windows, the twin of the Qt window: the page of records,
// the status line, the five buttons and the bar. It knows neither the port nor the
// protocol: a click runs the handler the owner set, and the pump keeps the owner's
// serial line moving, also while a message box is up.
class Win32Form1 final : public WindowOps {
public:
    // The child windows' identifiers, for whoever reads the window back.
    enum Control : int {
        kText1 = 100,
        kCommand1,
        kCommand2,
        kCommand3,
        kCommand4,
        kCommand5,
        kLabel1,
        kLabel2,
        kProgressBar,
    };

    struct Handlers {
        std::function<void()> comTest, start, nextPage, readAll, stopRead;
    };

    // What the pump keeps moving: `poll` takes in what the line brought and raises the
    // receive notification; `next` says how soon it needs polling again, none while
    // nothing can arrive (a closed port), so that an idle program does not wake.
    struct Line {
        std::function<void()> poll;
        std::function<std::optional<std::chrono::milliseconds>()> next;
    };

    // Creates the window, hidden; throws std::runtime_error when Windows will not.
    explicit Win32Form1(HINSTANCE instance);
    ~Win32Form1() override;
    Win32Form1(const Win32Form1&) = delete;
    Win32Form1& operator=(const Win32Form1&) = delete;

    void setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }
    void setLine(Line line) { line_ = std::move(line); }
    // Windows is ending the session and will end the process once this returns: the
    // last chance to put the log on the disk.
    void setSessionEnd(std::function<void()> onEnd) { sessionEnd_ = std::move(onEnd); }
    // Names the device in the Com Test tooltip.
    void setPortName(const std::string& device);
    // Lets the technician pick the splicer's port; nothing when they cancel or the
    // program quits meanwhile.
    std::optional<std::string> askForPort(const std::vector<PortOffer>& ports, const std::string& current);

    void show(int showCommand = SW_SHOWNORMAL);
    // Runs the window until it closes.
    void run();
    // Ends every wait, closes any open box and the window.
    void requestQuit();

    HWND handle() const { return window_; }
    HWND control(Control id) const { return ::GetDlgItem(window_, id); }
    bool buttonEnabled(Button button) const;
    // Message boxes and dialogs this window has open now.
    int openBoxes() const { return openBoxes_; }

    void setEnabled(Button button, bool enabled) override;
    void setStatusText(const std::string& text) override;
    std::string statusText() const override { return statusText_; }
    void setPageText(const std::string& text) override;
    std::string pageText() const override;
    void setRecordCaption(const std::string& text) override;
    std::string recordCaption() const override { return recordCaption_; }
    void showProgress(int received, int total) override;
    void showMessage(const std::string& text, const std::string& detail = {}) override;
    void pumpEvents(bool userInput = true) override;
    bool quitRequested() const override { return quitRequested_; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void layOut();
    void press(Control id);
    bool dispatchPending(bool userInput);
    bool handledKey(const MSG& message);
    void showLater();
    void showUpdate();
    void pollLine();
    void scheduleLinePoll();
    void keepFocusNear(HWND pressed);
    void closeBoxes();
    void windowGone();

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    Handlers handlers_;
    Line line_;
    std::function<void()> sessionEnd_;
    std::optional<std::chrono::milliseconds> linePollEvery_;  // the timer's interval while it runs

    // What the logic set, kept here as well: the window may be gone before the logic is.
    std::string statusText_, recordCaption_, pageText_;
    bool enabled_[4] = {true, true, true, true};  // by Button, as a new window's buttons are
    std::wstring shownPageText_;
    std::wstring portTip_;
    int progressReceived_ = 0, progressTotal_ = 0;
    bool progressShown_ = false;
    bool updatePending_ = false;  // the page and the bar wait for the event loop

    int openBoxes_ = 0;
    bool quitRequested_ = false;
    unsigned long presses_ = 0;
};

}  // namespace splicerec
