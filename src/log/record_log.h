#pragma once

#include <filesystem>
#include <stdexcept>
#include <string_view>

namespace splicerec {

class LogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The record log: one line per record, CR LF after each, appended and never rewritten.
// The file is open only for the duration of one append, so every record that was
// reported saved is on disk even if the program dies.
class RecordLog {
public:
    explicit RecordLog(std::filesystem::path path) : path_(std::move(path)) {}

    // Throws LogError naming the file and the reason when any step fails.
    void append(std::string_view line) const;

    const std::filesystem::path& path() const { return path_; }

    // RECORD.txt in the home directory on Linux; the drive root the instrument's
    // users know on Windows.
    static std::filesystem::path defaultPath();

private:
    std::filesystem::path path_;
};

}  // namespace splicerec
