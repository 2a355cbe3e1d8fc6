#pragma once

#include <filesystem>
#include <string>
#include <vector>

// splice-report as a script runs it, on Linux and under Wine alike (run_program_posix.cpp,
// run_program_win32.cpp), and the files such a run reads and writes.
namespace splicerec::report::harness {

struct Outcome {
    int status = -1;  // -1: killed by a signal
    std::string out, err;
};

// Runs `program` (a path, or a name looked up in PATH on Linux) with `arguments` (UTF-8)
// and `input` (less than 64 KiB) on its standard input, and waits for it to end.
Outcome runProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& input = {});

// A path from UTF-8 text, and back, whatever the platform's own encoding of file names.
std::filesystem::path pathOf(const std::string& utf8);
std::string utf8Of(const std::filesystem::path& path);

// An empty folder of the running test's own in the build folder.
std::filesystem::path scratchFolder();

std::string contents(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

}  // namespace splicerec::report::harness
