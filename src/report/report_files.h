#pragma once

#include <string>
#include <string_view>
#include <vector>

// The files and standard streams of splice-report, one implementation per platform
// (report_files_posix.cpp, report_files_win32.cpp). Paths and texts are UTF-8 on both.
namespace splicerec::report {

// The whole content of the file at `path`, or of standard input for "-". False with the
// system's reason in `error` when it cannot be opened or read.
bool readInput(const std::string& path, std::string& content, std::string& error);

// Creates or replaces the file at `path` with `content`. False with the system's reason
// in `error` when it cannot be created, written or closed.
bool writeOutputFile(const std::string& path, std::string_view content, std::string& error);

enum class Stream { output, error };

// Writes `text` to standard output or error; false when not all of it went out.
bool writeStream(Stream stream, std::string_view text);

#ifdef _WIN32
// The command line in UTF-8, read from the UTF-16 one Windows keeps: main()'s argv is in
// the ANSI code page, where a name in another script turns into question marks.
std::vector<std::string> commandLineArguments();
#endif

}  // namespace splicerec::report
