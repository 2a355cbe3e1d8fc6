#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <ostream>

// Readable failure messages for Qt's strings.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* out) { *out << '[' << list.join(", ").toStdString() << ']'; }

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

// Where the tests leave files for people to look at.
QString testOutputDir();

}  // namespace splicerec::test
