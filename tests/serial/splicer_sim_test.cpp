#include "serial/pump.h"
#include "serial/qt_serial_port.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>

namespace splicerec {
namespace {

using Bytes = std::vector<std::uint8_t>;

class SplicerSimTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureApplication(); }

    void TearDown() override
    {
        sim_.kill();
        sim_.waitForFinished(10000);
    }

    // Starts the simulator and returns the device path it prints first.
    QString start(const QStringList& arguments)
    {
        sim_.start(QStringLiteral(SPLICER_SIM_PATH), arguments);
        const QDeadlineTimer deadline(10000);
        while (!sim_.canReadLine() && !deadline.hasExpired() && sim_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        return QString::fromLocal8Bit(sim_.readLine()).trimmed();
    }

    static Bytes exchange(QtSerialPort& port, std::string_view request, std::size_t size)
    {
        port.write(request);
        EXPECT_TRUE(test::pumpUntil([&] { return port.pendingInput() >= static_cast<int>(size); }));
        return port.readInput();
    }

    QProcess sim_;
};

TEST_F(SplicerSimTest, ServesWhatTheOptionsSayAndStopsCleanly)
{
    const struct {
        QStringList arguments;
        std::string identification;
        Bytes count;
    } cases[] = {
        {{}, "kestor", {0, 57}},
        {{"--records", "3"}, "kestor", {0, 3}},
        {{"--records=300"}, "kestor", {1, 44}},
        {{"--wrong-id", "1"}, "kestox", {0, 57}},
        {{"--count-length", "3"}, "kestor", {0, 57, 0}},
        {{"--pieces", "3", "--piece-gap", "20", "--delay", "10"}, "kestor", {0, 57}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto path = start(c.arguments);
        ASSERT_TRUE(path.startsWith(QStringLiteral("/dev/"))) << path.toStdString();
        QtSerialPort port(path);
        port.open();
        const auto id = exchange(port, "s", 6);
        EXPECT_EQ(std::string(id.begin(), id.end()), c.identification);
        EXPECT_EQ(exchange(port, "n", c.count.size()), c.count);
        port.close();

        sim_.terminate();
        ASSERT_TRUE(sim_.waitForFinished(10000));
        EXPECT_EQ(sim_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim_.exitCode(), 0);
        EXPECT_TRUE(sim_.readAllStandardError().contains("splice-records --port " + path.toLocal8Bit()));
    }
}

TEST_F(SplicerSimTest, MalformedOptionsExitWithTwo)
{
    const QStringList cases[] = {
        {"--records", "many"}, {"--delay", "-5"}, {"--pieces", "0"},
        {"--hang-up-after", "1.5"}, {"--no-such-option"}, {"stray"},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        sim_.start(QStringLiteral(SPLICER_SIM_PATH), arguments);
        ASSERT_TRUE(sim_.waitForFinished(10000));
        EXPECT_EQ(sim_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim_.exitCode(), 2);
        EXPECT_TRUE(sim_.readAllStandardOutput().isEmpty()) << "printed a device path";
        EXPECT_FALSE(sim_.readAllStandardError().isEmpty());
    }
}

}  // namespace
}  // namespace splicerec
