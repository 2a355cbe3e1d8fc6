#include "run_program.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace splicerec::report::harness {
namespace {

std::string readBack(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char buffer[4096];
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, count);
    std::fclose(file);
    return text;
}

}  // namespace

Outcome runProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& input)
{
    // The input through a pipe, as "cat log | splice-report -" gives it, written whole
    // before the program starts; the output into files, so nothing needs draining.
    int in[2];
    if (input.size() >= 65536 || ::pipe(in) != 0 || ::write(in[1], input.data(), input.size()) != ssize_t(input.size()))
        return {};
    ::close(in[1]);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(::fileno(out), STDOUT_FILENO);
        ::dup2(::fileno(err), STDERR_FILENO);
        ::execvp(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    Outcome outcome;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        outcome.status = WEXITSTATUS(status);
    ::close(in[0]);
    outcome.out = readBack(out);
    outcome.err = readBack(err);
    return outcome;
}

}  // namespace splicerec::report::harness
