#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace splicerec::bench {

// A program run beside the bench, so that its CPU time is not counted as ours.
class ChildProcess {
public:
    struct Options {
        std::vector<std::string> extraEnvironment;  // NAME=value, added to ours
        bool captureStdout = false;
        bool pipeStdin = false;  // for writeLine()
        bool quiet = true;  // stdout (unless captured) and stderr go to /dev/null
    };

    // Throws std::runtime_error when the program cannot be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments, const Options& options);
    ~ChildProcess();  // terminates the program if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The first line the program prints, without its newline; nothing on timeout or end.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);

    // Sends `line` and a newline to the program's stdin (Options::pipeStdin); false if it is gone.
    bool writeLine(const std::string& line);

    // Waits for the program to end by itself; false on timeout.
    bool waitForExit(std::chrono::milliseconds timeout);

    // SIGTERM, then SIGKILL if it has not gone within a second.
    void terminate();

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int stdin_ = -1;
    bool exited_ = false;
    std::string pending_;
};

}  // namespace splicerec::bench
