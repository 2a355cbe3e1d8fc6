#include "log/record_log.h"

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <utility>

namespace splicerec {
namespace {

std::wstring wide(const std::string& utf8)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

std::string utf8(const std::wstring& text)
{
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

// The system's reason in the technician's language, without the line end and full stop
// that FormatMessage adds, so it reads like the POSIX reasons inside our sentences.
std::string reason(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words = length > 0 ? std::wstring(text, length) : L"";
    ::LocalFree(text);
    while (!words.empty() && (words.back() == L'\r' || words.back() == L'\n' || words.back() == L' ' || words.back() == L'.'))
        words.pop_back();
    return words.empty() ? "system error " + std::to_string(error) : utf8(words);
}

LogError failure(const std::string& path, const char* step, DWORD error)
{
    return LogError("cannot " + std::string(step) + " " + path + ": " + reason(error));
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    bool close() { return !valid() || ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != 0; }

private:
    HANDLE handle_;
};

// Others may read the log, or keep it open in an editor, while records come in.
constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Append-only: every write lands at the end, whatever else has the file open.
Handle openForAppend(const std::wstring& path, DWORD disposition)
{
    return Handle(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShared, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A pipe or a device (NUL, CON, a COM port) keeps no record, and one nobody reads
// would hold the program.
void refuseAllButDiskFiles(const Handle& file, const std::string& path)
{
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        throw LogError("cannot open " + path + ": it is a device or a pipe, not a file");
}

// Whether the file's last byte, at `size`, is inside a line: a log edited by hand or
// written by another tool may end without a line end. A file we cannot read is taken as ours.
bool endsInsideALine(const std::wstring& path, LARGE_INTEGER size)
{
    if (size.QuadPart <= 0)
        return false;
    const Handle file(::CreateFileW(path.c_str(), GENERIC_READ, kShared, nullptr, OPEN_EXISTING, 0, nullptr));
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>((size.QuadPart - 1) & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    char last = '\n';
    DWORD count = 0;
    if (!file.valid() || !::ReadFile(file.get(), &last, 1, &count, &at) || count != 1)
        return false;
    return last != '\n';
}

bool writeAll(HANDLE file, const std::string& text, DWORD& error)
{
    for (std::size_t done = 0; done < text.size();) {
        DWORD count = 0;
        if (!::WriteFile(file, text.data() + done, static_cast<DWORD>(text.size() - done), &count, nullptr)) {
            error = ::GetLastError();
            return false;
        }
        if (count == 0) {
            error = ERROR_DISK_FULL;
            return false;
        }
        done += count;
    }
    return true;
}

// Leaves no partial line behind, or the next record would be glued to it. The append
// handle cannot move the end of the file, so a second one does.
void cutBackTo(const std::wstring& path, LARGE_INTEGER size)
{
    const Handle file(::CreateFileW(path.c_str(), FILE_WRITE_DATA, kShared, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.valid() && ::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN))
        ::SetEndOfFile(file.get());
}

}  // namespace

void RecordLog::append(std::string_view line)
{
    const std::wstring path = wide(path_);
    Handle file = openForAppend(path, OPEN_ALWAYS);
    if (!file.valid())
        throw failure(path_, "open", ::GetLastError());
    refuseAllButDiskFiles(file, path_);

    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size))
        throw failure(path_, "open", ::GetLastError());
    // A record glued to an unfinished last line would spoil both: it starts a line of its own.
    std::string text = endsInsideALine(path, size) ? "\r\n" : "";
    text += line;
    text += "\r\n";
    DWORD error = ERROR_SUCCESS;
    const bool written = writeAll(file.get(), text, error);
    if (!written)
        cutBackTo(path, size);
    const bool closed = file.close();
    if (!closed && written)
        error = ::GetLastError();
    if (!written || !closed)
        throw failure(path_, written ? "close" : "write", error);
    unsynced_ = true;
}

void RecordLog::sync()
{
    if (!unsynced_)
        return;
    // NTFS journals the folder's entry with the file, so the file alone is flushed.
    const Handle file(
        ::CreateFileW(wide(path_).c_str(), GENERIC_WRITE, kShared, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        throw failure(path_, "open", ::GetLastError());
    if (!::FlushFileBuffers(file.get()))
        throw failure(path_, "save", ::GetLastError());
    unsynced_ = false;
}

void RecordLog::checkAppendable() const
{
    const std::wstring path = wide(path_);
    const Handle file = openForAppend(path, OPEN_EXISTING);
    if (file.valid())
        return refuseAllButDiskFiles(file, path_);
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND)
        throw failure(path_, error == ERROR_PATH_NOT_FOUND ? "create" : "open", error);
    // Whether the folder lets us add a file shows only by trying: the file made here is
    // gone again when its handle closes.
    const Handle probe(::CreateFileW(path.c_str(), FILE_APPEND_DATA | DELETE, kShared, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!probe.valid())
        throw failure(path_, "create", ::GetLastError());
}

// A technician may already keep the log at c:\RECORD.txt, and keeps appending to it.
// A new log goes to Documents: on today's Windows a standard user cannot create a file in
// the root of C:, so that default would fail at the first record.
std::string RecordLog::defaultPath()
{
    const std::string kept = "c:\\RECORD.txt";
    if (::GetFileAttributesW(L"c:\\RECORD.txt") != INVALID_FILE_ATTRIBUTES) {
        try {
            RecordLog(kept).checkAppendable();
            return kept;
        } catch (const LogError&) {
        }
    }
    wchar_t* documents = nullptr;
    std::string path;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents)))
        path = utf8(documents) + "\\RECORD.txt";
    ::CoTaskMemFree(documents);
    return path.empty() ? kept : path;
}

}  // namespace splicerec
