#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>

#include "app/options.h"

namespace splicerec {
namespace {

const QString kDefaultPort = QStringLiteral("/dev/ttyUSB0");
const QString kDefaultLog = QStringLiteral("/home/tech/RECORD.txt");

TEST(CommandLine, optionsAndTheirDefaults)
{
    using Action = ParsedCommandLine::Action;
    struct Case {
        QStringList arguments;
        Action action;
        QString port, logPath;
        bool demo;
    };
    const Case cases[] = {
        {{}, Action::Run, kDefaultPort, kDefaultLog, false},
        {{"--port", "/dev/ttyS1"}, Action::Run, "/dev/ttyS1", kDefaultLog, false},
        {{"--port=ttyACM0"}, Action::Run, "ttyACM0", kDefaultLog, false},
        {{"--demo"}, Action::Run, kDefaultPort, kDefaultLog, true},
        {{"--log", "/tmp/splices.txt"}, Action::Run, kDefaultPort, "/tmp/splices.txt", false},
        {{"--demo", "--log", "x.txt"}, Action::Run, kDefaultPort, "x.txt", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto parsed = parseCommandLine(QStringList{"splice-records"} + c.arguments, kDefaultPort, kDefaultLog);
        ASSERT_EQ(parsed.action, c.action) << parsed.text.toStdString();
        EXPECT_EQ(parsed.options.port, c.port);
        EXPECT_EQ(parsed.options.logPath, c.logPath);
        EXPECT_EQ(parsed.options.demo, c.demo);
    }
}

TEST(CommandLine, mistakesAreReportedWithTheUsage)
{
    struct Case {
        QStringList arguments;
        QString mentions;
    };
    const Case cases[] = {
        {{"--bogus"}, "bogus"},
        {{"--port"}, "port"},
        {{"--port", ""}, "port"},
        {{"--log="}, "log"},
        {{"/dev/ttyUSB0"}, "/dev/ttyUSB0"},
        {{"--demo", "--port", "/dev/ttyS0"}, "--demo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto parsed = parseCommandLine(QStringList{"splice-records"} + c.arguments, kDefaultPort, kDefaultLog);
        EXPECT_EQ(parsed.action, ParsedCommandLine::Action::Fail);
        EXPECT_TRUE(parsed.text.contains(c.mentions)) << parsed.text.toStdString();
        EXPECT_TRUE(parsed.text.contains(QStringLiteral("--log <FILE>"))) << parsed.text.toStdString();
    }
}

// The program itself: exit codes, and quitting on a signal.
struct Run {
    int exitCode;
    QProcess::ExitStatus status;
    QString out, err;
};

Run runProgram(const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(SPLICE_RECORDS_BINARY), arguments);
    EXPECT_TRUE(program.waitForFinished(30000));
    return {program.exitCode(), program.exitStatus(), QString::fromLocal8Bit(program.readAllStandardOutput()),
            QString::fromLocal8Bit(program.readAllStandardError())};
}

TEST(Program, answersTheCommandLineAndExitsWithItsCode)
{
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        headless.remove(QString::fromLatin1(name));
    struct Case {
        QStringList arguments;
        bool needsDisplay;  // help and version must work over a bare terminal
        int exitCode;
        QString out, err;   // expected to appear in standard output and error
    };
    const Case cases[] = {
        {{"--version"}, false, 0, "splice-records " SPLICE_VERSION "\n", ""},
        {{"--help"}, false, 0, "--port <DEVICE>", ""},
        {{"--help-all"}, false, 0, "--demo", ""},
        {{"--list-ports"}, false, 0, "\n", ""},
        {{"--frobnicate"}, true, 2, "", "frobnicate"},
        {{"--demo", "--port", "/dev/ttyS0"}, true, 2, "", "--log <FILE>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto run = runProgram(c.arguments, c.needsDisplay ? QProcessEnvironment::systemEnvironment() : headless);
        EXPECT_EQ(run.status, QProcess::NormalExit);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(c.out)) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(c.err)) << run.err.toStdString();
        EXPECT_FALSE(run.out.contains(QStringLiteral("<executable_name>")));
    }
}

TEST(Program, quitSignalsCloseTheWindowAndExitNormally)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        QTemporaryDir dir;
        QProcess program;
        // Blocked until the program has its handler, so the signal cannot arrive too early.
        program.setChildProcessModifier([] {
            sigset_t quit;
            sigemptyset(&quit);
            sigaddset(&quit, SIGTERM);
            sigaddset(&quit, SIGINT);
            sigprocmask(SIG_BLOCK, &quit, nullptr);
        });
        program.start(QStringLiteral(SPLICE_RECORDS_BINARY),
                      {"--demo", "--log", dir.filePath(QStringLiteral("RECORD.txt"))});
        ASSERT_TRUE(program.waitForStarted(10000));
        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(30000)) << program.readAllStandardError().toStdString();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    }
}

}  // namespace
}  // namespace splicerec
