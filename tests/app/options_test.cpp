#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

namespace splicerec {
namespace {

const CommandLineContext kLinux{"9.8.7", "/dev/ttyUSB0", "log.txt", true};
const CommandLineContext kWindows{"9.8.7", "COM1", "log.txt", false};

// The outcome in a line: the exit code, then what runs or what went wrong.
std::string outcome(const ParsedCommandLine& parsed)
{
    using enum ParsedCommandLine::Action;
    const auto code = std::to_string(parsed.exitCode()) + ' ';
    switch (parsed.action) {
    case Run: {
        const auto& o = parsed.options;
        return code + (o.demo ? "demo " : "run ") + (o.port.empty() ? "(first adapter)" : o.port) + ' ' + o.logPath;
    }
    case ShowHelp: return code + "help";
    case ShowVersion: return code + "version " + parsed.text;
    case ListPorts: return code + "list-ports";
    case Fail: break;
    }
    // A mistake is said first, then the usage follows.
    const auto gap = parsed.text.find("\n\nUsage: splice-records [options]\n");
    return gap == std::string::npos ? "no usage after: " + parsed.text : code + parsed.text.substr(0, gap);
}

TEST(CommandLine, optionsTheirDefaultsAndMistakes)
{
    const struct {
        std::vector<std::string> arguments;
        const CommandLineContext& context;
        std::string expected;
    } cases[] = {
        {{}, kLinux, "0 run (first adapter) log.txt"},
        {{"--demo", "--log", "x.txt"}, kLinux, "0 demo (first adapter) x.txt"},
        {{"--port=COM3", "--log=C:\\records\\r.txt"}, kWindows, "0 run COM3 C:\\records\\r.txt"},
        {{"-port", "ttyUSB1", "-demo"}, kLinux, "2 --demo and --port cannot be used together."},
        {{"--port", "a", "--port", "b"}, kWindows, "0 run b log.txt"},
        {{"--log", "--demo"}, kWindows, "0 run (first adapter) --demo"},
        {{"--port", "COM\xc3\xa9"}, kWindows, "0 run COM\xc3\xa9 log.txt"},
        {{"--list-ports"}, kLinux, "0 list-ports"},
        {{"--list-ports", "--port", "x"}, kWindows, "0 list-ports"},
        {{"-h"}, kWindows, "0 help"},
        {{"--port", "x", "--help"}, kLinux, "0 help"},
        {{"-v"}, kWindows, "0 version splice-records 9.8.7\n"},
        {{"--version", "--help"}, kLinux, "0 help"},
        {{"--help", "--bogus"}, kLinux, "2 Unknown option 'bogus'."},
        {{"--bogus", "-x=1", "--demo"}, kWindows, "2 Unknown options: bogus, x."},
        {{"--port"}, kLinux, "2 Missing value after '--port'."},
        {{"--demo", "-log"}, kWindows, "2 Missing value after '-log'."},
        {{"--demo=yes"}, kLinux, "2 Unexpected value after '--demo'."},
        {{"--port", ""}, kLinux, "2 --port needs a device."},
        {{"--log="}, kWindows, "2 --log needs a file."},
        {{"/dev/ttyUSB0"}, kLinux, "2 Unexpected argument '/dev/ttyUSB0'."},
        {{"-"}, kWindows, "2 Unexpected argument '-'."},
        {{"--", "--demo"}, kLinux, "2 Unexpected argument '--demo'."},
        {{"--demo", "--port", "/dev/ttyS0"}, kLinux, "2 --demo and --port cannot be used together."},
        // QApplication reads its own options after us, with one dash or two.
        {{"-platform", "offscreen", "--port", "/dev/ttyS1"}, kLinux, "0 run /dev/ttyS1 log.txt"},
        {{"--style=fusion", "-reverse", "--demo"}, kLinux, "0 demo (first adapter) log.txt"},
        {{"-reverse", "--demo"}, kWindows, "2 Unknown option 'reverse'."},
        {{"-platform", "offscreen"}, kWindows, "2 Unknown option 'platform'."},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"splice-records"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        std::string line;
        for (const auto& argument : c.arguments)
            line += argument + ' ';
        EXPECT_EQ(outcome(parseCommandLine(arguments, c.context)), c.expected) << line;
    }
}

TEST(CommandLine, helpNamesTheProgramAsStartedAndTheDefaultsInAlignedColumns)
{
    const auto parsed = parseCommandLine({"C:\\Program Files\\splice-records\\splice-records.exe", "--help"},
                                         {"1.0", "COM3", "C:\\Users\\t\\Documents\\RECORD.txt", false});
    EXPECT_EQ(parsed.text,
              "Usage: C:\\Program Files\\splice-records\\splice-records.exe [options]\n"
              "Downloads the stored splice records of a fusion splicer over a serial line.\n"
              "\n"
              "Options:\n"
              "  --port DEVICE  Serial port of the splicer (default: COM3).\n"
              "  --log FILE     Append the records to FILE (default: C:\\Users\\t\\Documents\\RECORD.txt).\n"
              "  --demo         Talk to a built-in simulated splicer instead of a device.\n"
              "  --list-ports   List the serial ports found, mark the default, and exit.\n"
              "  -h, --help     Show this help and exit.\n"
              "  -v, --version  Show the version and exit.\n");
    // Where the machine has no default, the help does not make one up.
    const auto bare = parseCommandLine({"splice-records", "-h"}, {"1.0", "", "log.txt", true});
    EXPECT_NE(bare.text.find("  --port DEVICE  Serial port of the splicer.\n"), std::string::npos) << bare.text;
    // Nor does a run start without a log to write.
    EXPECT_EQ(outcome(parseCommandLine({"splice-records"}, {"1.0", "", "", true})), "2 --log needs a file.");
}

}  // namespace
}  // namespace splicerec
