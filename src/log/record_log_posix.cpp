#include "log/record_log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace splicerec {
namespace {

LogError failure(const std::string& path, const char* step, int error)
{
    return LogError("cannot " + std::string(step) + " " + path + ": " + std::strerror(error));
}

std::filesystem::path folderOf(const std::string& path)
{
    const std::filesystem::path file(path);
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// Never blocks: a FIFO nobody reads fails at once instead of hanging the program.
constexpr int kAppendFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

bool writeAll(int fd, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();) {
        const auto count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

// Whether the file's last byte, at `size`, is inside a line: a log edited by hand or
// written by another tool may end without a line end. A file we cannot read is taken as ours.
bool endsInsideALine(const std::string& path, off_t size)
{
    const int fd = size > 0 ? ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) : -1;
    char last = '\n';
    if (fd >= 0) {
        if (::pread(fd, &last, 1, size - 1) != 1)
            last = '\n';
        ::close(fd);
    }
    return last != '\n';
}

}  // namespace

void RecordLog::append(std::string_view line)
{
    bool created = false;
    int fd = ::open(path_.c_str(), kAppendFlags);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path_.c_str(), kAppendFlags | O_CREAT | O_EXCL, 0666);
        created = fd >= 0;
    }
    if (fd < 0)
        throw failure(path_, "open", errno);

    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    // A record glued to an unfinished last line would spoil both: it starts a line of its own.
    std::string text = regular && endsInsideALine(path_, info.st_size) ? "\r\n" : "";
    text += line;
    text += "\r\n";
    const bool written = writeAll(fd, text);
    const int writeError = errno;
    if (!written && regular) {
        // Leave no partial line behind: the next record would be glued to it.
        [[maybe_unused]] const int ignored = ::ftruncate(fd, info.st_size);
    }
    const bool closed = ::close(fd) == 0;
    const int closeError = errno;
    if (!written || !closed)
        throw failure(path_, written ? "close" : "write", written ? closeError : writeError);
    unsynced_ = true;
    folderUnsynced_ = folderUnsynced_ || created;
}

void RecordLog::sync()
{
    if (!unsynced_)
        return;
    // fsync works on the file, not on the descriptor that wrote to it.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw failure(path_, "open", errno);
    // Devices and pipes have nothing to put on a disk.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    const int syncError = errno;
    ::close(fd);
    if (!synced)
        throw failure(path_, "save", syncError);
    if (folderUnsynced_) {
        // A new file is only safe once the folder that names it is.
        const int dir = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    unsynced_ = false;
    folderUnsynced_ = false;
}

void RecordLog::checkAppendable() const
{
    const int fd = ::open(path_.c_str(), kAppendFlags);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno != ENOENT)
        throw failure(path_, "open", errno);
    // The first append creates the file: its folder must exist and let us add to it.
    if (::access(folderOf(path_).c_str(), W_OK | X_OK) != 0)
        throw failure(path_, "create", errno);
}

std::string RecordLog::defaultPath()
{
    const char* home = std::getenv("HOME");
    return (std::filesystem::path(home && *home ? home : ".") / "RECORD.txt").string();
}

}  // namespace splicerec
