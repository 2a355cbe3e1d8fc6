#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "log/record_log.h"

namespace splicerec {
namespace {

namespace fs = std::filesystem;

// The test's own empty directory, removed afterwards.
struct ScratchDir {
    ScratchDir() { fs::create_directories(path); }
    ~ScratchDir() { fs::remove_all(path); }
    const fs::path path = fs::temp_directory_path() / ("record-log-test-" + std::to_string(::getpid()));
};

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(RecordLog, appendsEachLineWithCrLfAfterWhateverWasThere)
{
    ScratchDir dir;
    struct Case {
        const char* before;  // nullptr: no file yet
        const char* after;
    };
    const Case cases[] = {
        {nullptr, "A\r\nB\r\n"},
        {"old\r\n", "old\r\nA\r\nB\r\n"},
        {"no terminator", "no terminatorA\r\nB\r\n"},
    };
    for (const auto& c : cases) {
        const auto path = dir.path / "RECORD.txt";
        fs::remove(path);
        if (c.before)
            std::ofstream(path, std::ios::binary) << c.before;
        RecordLog log(path);
        log.append("A");
        log.append("B");
        EXPECT_EQ(contents(path), c.after) << (c.before ? c.before : "(no file)");
    }
}

TEST(RecordLog, unwritableTargetsAreReportedNamingTheFile)
{
    ScratchDir dir;
    std::ofstream(dir.path / "plain") << "x";
    fs::create_directories(dir.path / "a-directory");
    const fs::path targets[] = {"/dev/full", dir.path / "plain" / "RECORD.txt", dir.path / "a-directory",
                                dir.path / "missing" / "RECORD.txt"};
    for (const auto& target : targets) {
        try {
            RecordLog(target).append("NO 00001: 2002-12-19 15:27   LOSS:0.06dB");
            ADD_FAILURE() << target << " accepted a record";
        } catch (const LogError& error) {
            EXPECT_NE(std::string(error.what()).find(target.string()), std::string::npos) << error.what();
        }
    }
}

}  // namespace
}  // namespace splicerec
