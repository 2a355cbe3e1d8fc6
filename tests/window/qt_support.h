#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "protocol/clock.h"
#include "pty_instrument.h"
#include "serial/qt_serial_port.h"
#include "window/form1.h"

namespace splicerec::test {

// Answers each application-modal message box as it appears, the way a technician
// would, and remembers what it said.
class MessageBoxAnswerer : public QObject {
public:
    // By default the OK button is clicked.
    explicit MessageBoxAnswerer(std::function<void(QMessageBox&)> answer = {});

    const QStringList& texts() const { return texts_; }

private:
    void look();

    std::function<void(QMessageBox&)> answer_;
    QStringList texts_;
    QTimer poll_;
};

// The shown window on the real port, with a simulated splicer at the far end of a pty
// and the record log in a temporary directory.
struct FormRig {
    explicit FormRig(sim::Behaviour behaviour = {})
        : instrument(behaviour), port(instrument.devicePath()), form(port, clock, RecordLog(logPath().toStdString()))
    {
        form.show();
    }
    QString logPath() const { return dir.filePath(QStringLiteral("RECORD.txt")); }
    template <typename Widget = QWidget>
    Widget* control(const char* name) const { return form.findChild<Widget*>(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    sim::PtyInstrument instrument;
    QtSerialPort port;
    SteadyClock clock;
    Form1 form;
};

// Where the tests leave files for people to look at.
QString testOutputDir();

}  // namespace splicerec::test
