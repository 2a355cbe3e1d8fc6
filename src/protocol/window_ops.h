#pragma once

#include <string>

namespace splicerec {

// The four lower buttons; "Com Test" (Command5) is never disabled, so it has no entry.
enum class Button {
    Command1,  // "Start"
    Command2,  // "StopRead"
    Command3,  // "ReadAll"
    Command4,  // "Next Page"
};

// What the protocol logic may do with the window. Each platform's window implements
// it; tests implement it without any window system. What a front-end must honour:
// - pumpEvents(false) runs no click, key or menu handler; those wait for a later pump.
// - The port's receive notification is still delivered while a box opened by a
//   handler is up, so a record that arrives then is still taken.
// - Once quit is requested, every open box is closed as if answered, and no new one opens.
class WindowOps {
public:
    virtual ~WindowOps() = default;

    virtual void setEnabled(Button button, bool enabled) = 0;

    virtual void setStatusText(const std::string& text) = 0;  // Label2
    virtual std::string statusText() const = 0;
    virtual void setPageText(const std::string& text) = 0;    // Text1
    virtual std::string pageText() const = 0;
    virtual void setRecordCaption(const std::string& text) = 0;  // label1, never visible
    virtual std::string recordCaption() const = 0;

    // How far a download has got: the last record number received against the total expected.
    virtual void showProgress(int received, int total) = 0;

    // Modal box with a single OK button; returns when the operator has closed it, or at
    // once when quit was requested. `detail`, when given, is shown beneath the text.
    virtual void showMessage(const std::string& text, const std::string& detail = {}) = 0;

    // Dispatches pending window and port events; may run any enabled handler nested.
    // Sleeps until the next event when nothing is pending, at most a few milliseconds.
    virtual void pumpEvents(bool userInput = true) = 0;

    // True once the window is closing or the program was asked to quit: every wait ends.
    virtual bool quitRequested() const = 0;
};

}  // namespace splicerec
