#pragma once

#include <filesystem>
#include <string_view>

#include "log/record_sink.h"

namespace splicerec {

// The record log: one line per record, CR LF after each, appended and never rewritten.
// The file is open only for the duration of one append, so every record appended is in
// the file even if the program dies; sync() puts it on the disk.
class RecordLog final : public RecordSink {
public:
    explicit RecordLog(std::filesystem::path path) : path_(std::move(path)) {}

    void append(std::string_view line) override;
    void sync() override;
    void checkAppendable() const override;
    std::string location() const override { return path_.string(); }

    const std::filesystem::path& path() const { return path_; }

    // RECORD.txt in the home directory on Linux; the drive root the instrument's
    // users know on Windows.
    static std::filesystem::path defaultPath();

private:
    std::filesystem::path path_;
    bool unsynced_ = false;
    bool folderUnsynced_ = false;  // the file was created since the last sync
};

}  // namespace splicerec
