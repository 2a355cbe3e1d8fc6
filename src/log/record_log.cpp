#include "log/record_log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace splicerec {
namespace {

LogError failure(const std::filesystem::path& path, const char* step, int error)
{
    return LogError("cannot " + std::string(step) + " " + path.string() + ": " + std::strerror(error));
}

}  // namespace

void RecordLog::append(std::string_view line)
{
    std::FILE* file = std::fopen(path_.c_str(), "ab");
    if (!file)
        throw failure(path_, "open", errno);

    std::fseek(file, 0, SEEK_END);
    const long sizeBefore = std::ftell(file);

    std::string text(line);
    text += "\r\n";
    // A full disk often shows only when the buffer is flushed.
    const bool saved = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    if (saved && closed)
        return;

    // Leave no partial line behind: the next record would be glued to it.
    if (sizeBefore >= 0) {
        std::error_code ignored;
        std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(sizeBefore), ignored);
    }
    throw failure(path_, saved ? "close" : "write", saved ? closeError : writeError);
}

std::filesystem::path RecordLog::defaultPath()
{
#ifdef _WIN32
    return "c:\\RECORD.txt";
#else
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / "RECORD.txt";
#endif
}

}  // namespace splicerec
