#pragma once

#include <QStringList>
#include <ostream>

// Readable failure messages for Qt's strings.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* out) { *out << '[' << list.join(", ").toStdString() << ']'; }

namespace splicerec::test {

// Where the tests leave files for people to look at.
QString testOutputDir();

}  // namespace splicerec::test
