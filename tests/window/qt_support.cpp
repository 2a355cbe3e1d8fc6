#include "window/qt_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <optional>
#include <gtest/gtest.h>

namespace splicerec::test {
namespace {

// One QApplication for the whole run, made before the first test and gone after the
// last; the widgets need it, and Qt allows only one per process.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Quiets Qt's warning about a missing runtime directory on build machines.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            runtimeDir_.emplace();
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir_->path()));
        }
        static int argc = 1;
        static char name[] = "window_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("splice-records"));
        QApplication::setApplicationVersion(QStringLiteral(SPLICE_VERSION));
    }
    void TearDown() override { delete app_; }

private:
    QApplication* app_ = nullptr;
    std::optional<QTemporaryDir> runtimeDir_;
};

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer(std::function<void(QMessageBox&)> answer) : answer_(std::move(answer))
{
    if (!answer_)
        answer_ = [](QMessageBox& box) { box.button(QMessageBox::Ok)->click(); };
    poll_.setInterval(10);
    connect(&poll_, &QTimer::timeout, this, &MessageBoxAnswerer::look);
    poll_.start();
}

void MessageBoxAnswerer::look()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    // An answered box hides at once, so it is never answered twice.
    if (!box || !box->isVisible())
        return;
    texts_ << box->text();
    answer_(*box);
}

QString testOutputDir()
{
    const QString dir = qEnvironmentVariable("SPLICE_TEST_OUTPUT", QStringLiteral(SPLICE_TEST_OUTPUT_DIR));
    QDir().mkpath(dir);
    return dir;
}

}  // namespace splicerec::test
