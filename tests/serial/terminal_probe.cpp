#include "serial/terminal_probe.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int probeTerminalSettings(const char* path, termios* settings)
{
    const int fd = ::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int result = ::tcgetattr(fd, settings) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}
