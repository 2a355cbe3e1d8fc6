#include <QProcess>

#include <csignal>
#include <gtest/gtest.h>

#include "app/options.h"

namespace splicerec {

TEST(CommandLine, optionsTheirDefaultsAndMistakes)
{
    const std::pair<QStringList, QString> cases[] = {
        {{}, "run (first adapter) log.txt"},
        {{"--demo", "--log", "x.txt"}, "demo (first adapter) x.txt"},
        {{"--list-ports"}, "list-ports"},
        {{"--bogus"}, "Unknown option 'bogus'."},
        {{"--port", ""}, "--port needs a device."},
        {{"--log="}, "--log needs a file."},
        {{"/dev/ttyUSB0"}, "Unexpected argument '/dev/ttyUSB0'."},
        {{"--demo", "--port", "/dev/ttyS0"}, "--demo and --port cannot be used together."},
        {{"-platform", "offscreen", "--port", "/dev/ttyS1"}, "run /dev/ttyS1 log.txt"},  // Qt's own options pass
    };
    using enum ParsedCommandLine::Action;
    for (const auto& [arguments, expected] : cases) {
        const auto p = parseCommandLine(QStringList{"splice-records"} + arguments, "/dev/ttyUSB0", "log.txt");
        QString got = p.action == ListPorts ? "list-ports" : p.text.section("\n\n", 0, 0);
        if (p.action == Run)
            got = QStringList{p.options.demo ? "demo" : "run",
                              p.options.port.isEmpty() ? "(first adapter)" : p.options.port, p.options.logPath}
                      .join(' ');
        EXPECT_EQ(got, expected) << arguments.join(' ').toStdString();
    }
}

TEST(Program, exitsWithItsCodeAnswersHelpAndVersionWithoutADisplayAndQuitsOnSignals)
{
    const struct { QStringList arguments; int signal, exitCode; QByteArray out, err; } cases[] = {
        {{"--version"}, 0, 0, "splice-records " SPLICE_VERSION "\n", ""},
        {{"--help"}, 0, 0, "--port <DEVICE>", ""},
        {{"--list-ports"}, 0, 0, "\n", ""},
        {{"--frobnicate"}, 0, 2, "", "--log <FILE>"},
        {{"--demo", "--log", "/dev/null"}, SIGTERM, 0, "", ""},
        {{"--demo", "--log", "/dev/null"}, SIGINT, 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString() + " signal " + std::to_string(c.signal));
        QProcess program;
        if (!c.signal)  // help, version, the port list and a mistake need no display
            program.setProcessEnvironment(QProcessEnvironment());
        // Blocked until the program has its handler, so a signal cannot arrive too early.
        program.setChildProcessModifier([] {
            sigset_t quit;
            sigemptyset(&quit);
            sigaddset(&quit, SIGTERM);
            sigaddset(&quit, SIGINT);
            sigprocmask(SIG_BLOCK, &quit, nullptr);
        });
        program.start(QStringLiteral(SPLICE_RECORDS_BINARY), c.arguments);
        if (c.signal && program.waitForStarted(10000))
            ::kill(static_cast<pid_t>(program.processId()), c.signal);
        ASSERT_TRUE(program.waitForFinished(30000));
        const QByteArray out = program.readAllStandardOutput(), err = program.readAllStandardError();
        EXPECT_EQ(program.exitStatus() == QProcess::CrashExit ? -1 : program.exitCode(), c.exitCode) << err.toStdString();
        EXPECT_TRUE(out.contains(c.out) && !out.contains("<executable_name>")) << out.toStdString();
        EXPECT_TRUE(err.contains(c.err)) << err.toStdString();
    }
}

}  // namespace splicerec
