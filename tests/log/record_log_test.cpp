// The log file on each platform: what it appends, and how it fails. One table; the rows
// that only a platform has (its devices, pipes and full disks) stand under its name.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "log/record_log.h"

namespace splicerec {
namespace {

namespace fs = std::filesystem;

const std::string kLine = "NO 00001: 2002-12-19 15:27   LOSS:0.06dB";

// A folder of the test's own, named in UTF-8 as the program names every path.
struct Scratch {
    Scratch()
    {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() / fs::path(u8"splice-records-Mérés-" + std::u8string(
                                                          reinterpret_cast<const char8_t*>(test->name())));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~Scratch() { fs::remove_all(folder); }
    std::string utf8(const fs::path& path) const
    {
        const auto text = path.u8string();
        return {text.begin(), text.end()};
    }
    std::string file(const char* name) const { return utf8(folder / name); }
    static std::string read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path folder;
};

fs::path fromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

TEST(RecordLog, appendsEachLineWithCrLfAfterWhateverWasThere)
{
    Scratch scratch;
    const std::string path = scratch.file("RECORD.txt");
    // "": no file yet. "kept open": a reader keeps the log open, as an editor may.
    for (const std::string before : {"", "old\r\n", "kept open\r\n", "by another tool\n"}) {
        fs::remove(fromUtf8(path));
        if (!before.empty())
            std::ofstream(fromUtf8(path), std::ios::binary) << before;
        std::ifstream reader;
        if (before == "kept open\r\n")
            reader.open(fromUtf8(path), std::ios::binary);
        RecordLog log(path);
        log.append("A");
        log.append("B");
        log.sync();
        EXPECT_EQ(Scratch::read(fromUtf8(path)), before + "A\r\nB\r\n") << before;
    }
    // A last line without a line end, as an editor may leave it, stays as it was, and the
    // first record starts on a line of its own.
    std::ofstream(fromUtf8(path), std::ios::binary | std::ios::trunc) << "edited by hand";
    RecordLog(path).append("A");
    EXPECT_EQ(Scratch::read(fromUtf8(path)), "edited by hand\r\nA\r\n");
}

// What a log that cannot be written says: the step, the file, and the system's reason in
// plain words, on one line; nothing is left behind. `checkFails`: a Com Test already sees it.
TEST(RecordLog, aPlaceThatCannotTakeALineIsNamedWithTheReason)
{
    Scratch scratch;
    struct Row {
        std::string path, message;  // the message's start; "*" stands for the system's reason
        bool checkFails;
    };
    std::vector<Row> rows = {
        {scratch.file("gone/RECORD.txt"), "cannot open " + scratch.file("gone/RECORD.txt") + ": *", true},
        {scratch.utf8(scratch.folder), "cannot open " + scratch.utf8(scratch.folder) + ": *", true},
    };
#ifdef _WIN32
    rows.push_back({"NUL", "cannot open NUL: it is a device or a pipe, not a file", true});
    // A pipe whose reader never reads, as a FIFO is on Linux.
    const std::string pipe = "\\\\.\\pipe\\splice-records-log-test";
    const HANDLE server = ::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES,
                                             0, 0, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    rows.push_back({pipe, "cannot open " + pipe + ": *", true});
#else
    rows.push_back({"/dev/full", "cannot write /dev/full: No space left on device", false});
    const std::string fifo = scratch.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    rows.push_back({fifo, "cannot open " + fifo + ": No such device or address", true});
#endif
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const auto messageOf = [](auto action) -> std::string {
            try {
                action();
            } catch (const LogError& error) {
                return error.what();
            }
            return "no error";
        };
        const std::string message = messageOf([&] { RecordLog(row.path).append(kLine); });
        const auto star = row.message.find('*');
        EXPECT_EQ(message.substr(0, star), row.message.substr(0, star));
        if (star != std::string::npos) {
            const auto reason = message.substr(std::min(star, message.size()));
            EXPECT_FALSE(reason.empty());
            EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << reason;
            EXPECT_NE(reason.back(), '.') << "a full stop of its own ends the sentence around it";
        }
        EXPECT_EQ(messageOf([&] { RecordLog(row.path).checkAppendable(); }) != "no error", row.checkFails);
    }
    for (const auto& entry : fs::directory_iterator(scratch.folder))
        EXPECT_EQ(entry.path().filename(), "fifo") << "left behind";
#ifdef _WIN32
    ::CloseHandle(server);
#endif
}

#ifdef _WIN32
// A log kept at c:\RECORD.txt stays the log; without one the log goes to Documents,
// where a standard user may create it.
TEST(RecordLog, theDefaultIsAKeptLogAtTheDriveRootElseDocuments)
{
    const fs::path kept = "c:\\RECORD.txt";
    const char* profile = std::getenv("USERPROFILE");
    ASSERT_NE(profile, nullptr);
    const bool wasThere = fs::exists(kept);
    if (!wasThere)
        std::ofstream(kept, std::ios::binary) << "NO 00001: 2002-12-19 15:27   LOSS:0.06dB\r\n";
    EXPECT_EQ(RecordLog::defaultPath(), "c:\\RECORD.txt");
    const auto backup = fs::path(kept).replace_extension(".test-backup");
    fs::rename(kept, backup);
    EXPECT_EQ(RecordLog::defaultPath(), std::string(profile) + "\\Documents\\RECORD.txt");
    fs::rename(backup, kept);
    if (!wasThere)
        fs::remove(kept);
}
#endif

// Run with the file size limited to SPLICE_FILE_SIZE_LIMIT bytes, so that a line meets a
// full disk midway: the bytes that made it are taken back.
TEST(RecordLog, aLineCutShortByAFullDiskIsTakenBackWhole)
{
    const char* limit = std::getenv("SPLICE_FILE_SIZE_LIMIT");
    if (!limit)
        GTEST_SKIP() << "needs a file size limit (see tests/CMakeLists.txt)";
    Scratch scratch;
    const std::string path = scratch.file("RECORD.txt");
    const std::string before(std::stoul(limit) - 10, 'x');
    std::ofstream(fromUtf8(path), std::ios::binary) << before;
    RecordLog log(path);
    EXPECT_THROW(log.append(kLine), LogError);
    EXPECT_EQ(Scratch::read(fromUtf8(path)), before) << "a partial line was left";
}

}  // namespace
}  // namespace splicerec
