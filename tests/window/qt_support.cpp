#include "window/qt_support.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <optional>

namespace splicerec::test {
namespace {

// One QApplication for the whole run: the widgets need it, and Qt allows only one per process.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Quiets Qt's warning about a missing runtime directory on build machines.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir_.path()));
        static int argc = 1;
        static char name[] = "tests";
        static char* argv[] = {name, nullptr};
        app_.emplace(argc, argv);
        QApplication::setApplicationName(QStringLiteral("splice-records"));
    }
    void TearDown() override { app_.reset(); }

private:
    QTemporaryDir runtimeDir_;
    std::optional<QApplication> app_;
};

[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

QString testOutputDir()
{
    const QString dir = qEnvironmentVariable("SPLICE_TEST_OUTPUT", QStringLiteral(SPLICE_TEST_OUTPUT_DIR));
    QDir().mkpath(dir);
    return dir;
}

}  // namespace splicerec::test
