#include "report/report_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace splicerec::report {
namespace {

bool failed(std::string& error)
{
    error = std::strerror(errno);
    return false;
}

bool readAll(int fd, std::string& content, std::string& error)
{
    content.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0)
            return true;
        if (count < 0 && errno != EINTR)
            return failed(error);
        if (count > 0)
            content.append(buffer, static_cast<std::size_t>(count));
    }
}

}  // namespace

bool readInput(const std::string& path, std::string& content, std::string& error)
{
    if (path == "-")
        return readAll(STDIN_FILENO, content, error);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(error);
    struct stat status {};
    bool read = false;
    if (::fstat(fd, &status) != 0) {
        failed(error);
    } else if (S_ISDIR(status.st_mode)) {
        error = "file to open is a directory";  // the words the Qt build used
    } else {
        read = readAll(fd, content, error);
    }
    ::close(fd);
    return read;
}

bool writeOutputFile(const std::string& path, std::string_view content, std::string& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return failed(error);
    while (!content.empty()) {
        const ssize_t count = ::write(fd, content.data(), content.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count == 0)
                errno = ENOSPC;
            failed(error);
            ::close(fd);
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(count));
    }
    return ::close(fd) == 0 || failed(error);
}

bool writeStream(Stream stream, std::string_view text)
{
    std::FILE* file = stream == Stream::output ? stdout : stderr;
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

}  // namespace splicerec::report
