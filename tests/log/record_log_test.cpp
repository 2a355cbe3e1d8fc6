#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "log/record_log.h"

namespace splicerec {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, named after it, removed afterwards.
class RecordLogTest : public testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string contents(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    const fs::path dir_ = fs::temp_directory_path() / ("record-log-" + std::to_string(::getpid()) + "-" +
                                                       testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(RecordLogTest, appendsEachLineWithCrLfAfterWhateverWasThere)
{
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
        const auto path = dir_ / "RECORD.txt";
        fs::remove(path);
        if (c.before)
            std::ofstream(path, std::ios::binary) << c.before;
        RecordLog log(path);
        log.append("A");
        log.append("B");
        EXPECT_EQ(contents(path), c.after) << (c.before ? c.before : "(no file)");
    }
}

TEST_F(RecordLogTest, unwritableTargetsAreReportedNamingTheFile)
{
    std::ofstream(dir_ / "plain") << "x";
    fs::create_directories(dir_ / "a-directory");
    const fs::path targets[] = {"/dev/full", dir_ / "plain" / "RECORD.txt", dir_ / "a-directory",
                                dir_ / "missing" / "RECORD.txt"};
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
