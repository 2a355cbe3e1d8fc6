#include <QProcess>

#include <csignal>
#include <gtest/gtest.h>

namespace splicerec {

TEST(Program, exitsWithItsCodeAnswersHelpAndVersionWithoutADisplayAndQuitsOnSignals)
{
    const struct { QStringList arguments; int signal, exitCode; QByteArray out, err; } cases[] = {
        {{"--version"}, 0, 0, "splice-records " SPLICE_VERSION "\n", ""},
        {{"--help"}, 0, 0, "--port DEVICE", ""},
        {{"--list-ports"}, 0, 0, "\n", ""},
        {{"--frobnicate"}, 0, 2, "", "--log FILE"},
        {{"--demo", "--log", "/dev/null"}, SIGTERM, 0, "", ""},
        {{"--demo", "--log", "/dev/null"}, SIGINT, 0, "", ""},
        {{"-platform", "offscreen", "--demo", "--log", "/dev/null"}, SIGTERM, 0, "", ""},
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
