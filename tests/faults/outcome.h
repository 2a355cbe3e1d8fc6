#pragma once

#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include "window/form1.h"

namespace splicerec::test {

// The window as the technician sees it at the end of a case; the fault driver prints
// the same, so in-process and out-of-process cases are checked alike.
struct Outcome {
    QStringList boxes;  // message box texts, in order
    QString status;
    QString buttons;    // the enabled lower buttons, e.g. "Start,ReadAll"
    bool portOpen = false;
    int pageLast = 0;   // number of the record on the page's last line, 0 for none
};

inline QString enabledLowerButtons(const Form1& form)
{
    QStringList enabled;
    for (const char* name : {"Command1", "Command4", "Command3", "Command2"}) {
        const auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
        if (button && button->isEnabled())
            enabled << button->text();
    }
    return enabled.join(QLatin1Char(','));
}

inline int lastRecordOnPage(const Form1& form)
{
    const auto page = QString::fromStdString(form.pageText());
    const auto last = page.split(QStringLiteral("\r\n")).last();
    return last.startsWith(QStringLiteral("NO ")) ? last.mid(3, 5).toInt() : 0;
}

inline Outcome outcomeOf(const Form1& form, bool portOpen, QStringList boxes)
{
    return {std::move(boxes), form.findChild<QLabel*>(QStringLiteral("Label2"))->text(),
            enabledLowerButtons(form), portOpen, lastRecordOnPage(form)};
}

}  // namespace splicerec::test
