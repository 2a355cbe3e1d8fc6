#pragma once

#include <string>
#include <string_view>

#include "log/record_sink.h"

namespace splicerec {

// The record log: one line per record, CR LF after each, appended and never rewritten.
// The file is open only for the duration of one append, so every record appended is in
// the file even if the program dies; sync() puts it on the disk. A pipe nobody reads
// fails at once instead of holding the program: the POSIX open never blocks, and on
// Windows only a file on a disk is taken (record_log_posix.cpp, record_log_win32.cpp).
class RecordLog final : public RecordSink {
public:
    // `path` in UTF-8, as every text inside the program.
    explicit RecordLog(std::string path) : path_(std::move(path)) {}

    void append(std::string_view line) override;
    void sync() override;
    void checkAppendable() const override;
    std::string location() const override { return path_; }

    // RECORD.txt in the home directory on Linux; on Windows c:\RECORD.txt if it is there
    // and takes records, else RECORD.txt in Documents.
    static std::string defaultPath();

private:
    std::string path_;
    bool unsynced_ = false;
    bool folderUnsynced_ = false;  // the file was created since the last sync
};

}  // namespace splicerec
