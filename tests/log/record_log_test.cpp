#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "log/record_log.h"

namespace splicerec {
namespace {

namespace fs = std::filesystem;

TEST(RecordLog, appendsEachLineWithCrLfAfterWhateverWasThere)
{
    const fs::path path = fs::temp_directory_path() / ("record-log-test-" + std::to_string(::getpid()));
    for (const std::string before : {"", "old\r\n"}) {  // "": no file yet
        fs::remove(path);
        if (!before.empty())
            std::ofstream(path, std::ios::binary) << before;
        RecordLog log(path);
        log.append("A");
        log.append("B");
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before + "A\r\nB\r\n");
    }
    fs::remove(path);
}

TEST(RecordLog, aLineThatCannotBeWrittenIsReportedNamingTheFile)
{
    // A full disk fails at the write, a folder that is gone at the open.
    for (const fs::path target : {"/dev/full", "/nonexistent-folder/RECORD.txt"}) {
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
