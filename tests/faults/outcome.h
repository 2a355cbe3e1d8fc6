#pragma once

#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include "window/form1.h"

namespace splicerec::test {

// The window as the technician sees it at the end of a case; the fault driver prints the
// same, so in-process and out-of-process cases are checked alike.
struct Outcome {
    QStringList boxes;        // message box texts, in order
    QString status, buttons;  // buttons: the enabled lower ones, e.g. "Start,ReadAll"
    bool portOpen = false;
    int pageLast = 0;  // number of the record on the page's last line, 0 for none
};

inline Outcome outcomeOf(const Form1& form, bool portOpen, QStringList boxes)
{
    QStringList enabled;
    for (const char* name : {"Command1", "Command4", "Command3", "Command2"}) {
        if (const auto* button = form.findChild<QPushButton*>(name); button && button->isEnabled())
            enabled << button->text();
    }
    const auto last = QString::fromStdString(form.pageText()).split(QStringLiteral("\r\n")).last();
    return {std::move(boxes), form.findChild<QLabel*>(QStringLiteral("Label2"))->text(), enabled.join(QLatin1Char(',')),
            portOpen, last.startsWith(QStringLiteral("NO ")) ? last.mid(3, 5).toInt() : 0};
}

}  // namespace splicerec::test
