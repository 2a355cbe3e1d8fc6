#include "serial/qt_serial_port.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

#include <chrono>

namespace splicerec {
namespace {

// The replies of a link test, and the least time they take: 8 bytes at 2400 baud take 33 ms; a delay
// comes before each reply; a gap between each of their pieces.
TEST(SplicerSim, servesWhatTheOptionsSayNeverEarlyAndStopsCleanly)
{
    const struct { QStringList arguments; std::string identification, count; int leastMs; } cases[] = {
        {{"--records", "3"}, "kestor", {0, 3}, 0},
        {{"--records=300", "--paced"}, "kestor", {1, 44}, 32},
        {{"--wrong-id", "1", "--delay", "300"}, "kestox", {0, 57}, 595},
        {{"--count-length", "3"}, "kestor", {0, 57, 0}, 0},
        {{"--pieces", "3", "--piece-gap", "250"}, "kestor", {0, 57}, 745},
        {{"--echo"}, "s", "n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess sim;  // killed, if still running, when it goes
        sim.start(QStringLiteral(SPLICER_SIM_PATH), c.arguments);
        ASSERT_TRUE(sim.waitForReadyRead(10000) && sim.canReadLine());  // the device comes first, in one write
        const auto path = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QtSerialPort port(path);
        port.open();
        const auto start = std::chrono::steady_clock::now();
        for (const auto& [request, reply] : {std::pair("s", c.identification), std::pair("n", c.count)}) {
            port.write(request);
            EXPECT_TRUE(QTest::qWaitFor([&] { return port.pendingInput() >= static_cast<int>(reply.size()); }));
            EXPECT_EQ(port.readInput(), std::vector<std::uint8_t>(reply.begin(), reply.end())) << request;
        }
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(c.leastMs));
        sim.terminate();
        EXPECT_TRUE(sim.waitForFinished(10000) && sim.exitStatus() == QProcess::NormalExit && sim.exitCode() == 0);
        EXPECT_TRUE(sim.readAllStandardError().contains("splice-records --port " + path.toLocal8Bit()));
    }
}

// 2 for a malformed command line, 1 for a terminal that cannot be served; the error names the culprit.
TEST(SplicerSim, refusesMalformedOptionsAndAMissingTerminal)
{
    const struct { QStringList arguments; int exitCode; QByteArray named; } cases[] = {
        {{"--records", "many"}, 2, "many"}, {{"--delay", "-5"}, 2, "-5"}, {{"--pieces", "0"}, 2, "\"0\""},
        {{"--hang-up-after", "1.5"}, 2, "1.5"}, {{"--late-by", "x"}, 2, "\"x\""},
        {{"--no-such-option"}, 2, "no-such-option"}, {{"stray"}, 2, "stray"},
        {{"--serve", "/nonexistent/tty"}, 1, "/nonexistent/tty"}};
    for (const auto& c : cases) {
        QProcess sim;
        sim.start(QStringLiteral(SPLICER_SIM_PATH), c.arguments);
        ASSERT_TRUE(sim.waitForFinished(10000));
        EXPECT_EQ(sim.exitStatus() == QProcess::CrashExit ? -1 : sim.exitCode(), c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(sim.readAllStandardOutput().isEmpty() && sim.readAllStandardError().contains(c.named)) << c.named.data();
    }
}

}  // namespace
}  // namespace splicerec
