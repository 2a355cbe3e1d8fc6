#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace splicerec::bench {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const Options& options)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        environment.emplace_back(*entry);
    for (const auto& extra : options.extraEnvironment) {
        const auto name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(environment, [&](const std::string& entry) { return entry.starts_with(name); });
        environment.push_back(extra);
    }

    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers;
    for (auto& argument : argv)
        argvPointers.push_back(argument.data());
    argvPointers.push_back(nullptr);
    std::vector<char*> envPointers;
    for (auto& entry : environment)
        envPointers.push_back(entry.data());
    envPointers.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (options.captureStdout && ::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));

    int inFds[2] = {-1, -1};
    if (options.pipeStdin && ::pipe2(inFds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    if (options.pipeStdin)
        ::posix_spawn_file_actions_adddup2(&actions, inFds[0], STDIN_FILENO);
    if (options.captureStdout)
        ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    else if (options.quiet)
        ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (options.quiet)
        ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    // Searched in PATH when `program` has no slash, as for Xvfb.
    const int result =
        ::posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argvPointers.data(), envPointers.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (options.captureStdout) {
        ::close(pipeFds[1]);
        stdout_ = pipeFds[0];
    }
    if (options.pipeStdin) {
        ::close(inFds[0]);
        stdin_ = inFds[1];
    }
    if (result != 0) {
        if (stdout_ >= 0)
            ::close(stdout_);
        if (stdin_ >= 0)
            ::close(stdin_);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(result));
    }
}

ChildProcess::~ChildProcess()
{
    terminate();
    if (stdout_ >= 0)
        ::close(stdout_);
    if (stdin_ >= 0)
        ::close(stdin_);
}

bool ChildProcess::writeLine(const std::string& line)
{
    const auto text = line + '\n';
    std::size_t done = 0;
    while (stdin_ >= 0 && done < text.size()) {
        const auto count = ::write(stdin_, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        done += static_cast<std::size_t>(count);
    }
    return stdin_ >= 0;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (stdout_ >= 0) {
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            auto line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        pollfd fd{stdout_, POLLIN, 0};
        const int ready = ::poll(&fd, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        char buffer[512];
        const auto count = ::read(stdout_, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return std::nullopt;
        pending_.append(buffer, static_cast<std::size_t>(count));
    }
    return std::nullopt;
}

bool ChildProcess::waitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!exited_) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) {
            exited_ = true;
            break;
        }
        if (Clock::now() >= deadline)
            return false;
        // Fine enough for start-up times of a tenth of a second and more.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void ChildProcess::terminate()
{
    if (exited_ || pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    if (!waitForExit(std::chrono::seconds(1))) {
        ::kill(pid_, SIGKILL);
        waitForExit(std::chrono::seconds(5));
    }
}

}  // namespace splicerec::bench
