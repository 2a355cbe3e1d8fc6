#include "window/qt_support.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The tests' own main: one QApplication for the whole run, as the widgets need and Qt allows.
int main(int argc, char* argv[])
{
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))  // the build lists the tests where no display may be
        return RUN_ALL_TESTS();
    // Quiets Qt's warning about a missing runtime directory on build machines.
    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("splice-records"));
    return RUN_ALL_TESTS();
}

namespace splicerec::test {

QString testOutputDir()
{
    const QString dir = qEnvironmentVariable("SPLICE_TEST_OUTPUT", QStringLiteral(SPLICE_TEST_OUTPUT_DIR));
    QDir().mkpath(dir);
    return dir;
}

}  // namespace splicerec::test
