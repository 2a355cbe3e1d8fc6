#include "report/report_files.h"

#include <windows.h>
#include <shellapi.h>

namespace splicerec::report {
namespace {

std::wstring wide(std::string_view text)
{
    const int length = static_cast<int>(text.size());
    std::wstring converted(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0)),
                           L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, converted.data(), static_cast<int>(converted.size()));
    return converted;
}

std::string utf8(std::wstring_view text)
{
    const int length = static_cast<int>(text.size());
    std::string converted(
        static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr)),
        '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, converted.data(), static_cast<int>(converted.size()),
                          nullptr, nullptr);
    return converted;
}

// The system's words for `code`, without the line end and full stop FormatMessage adds,
// so that they read like the POSIX build's after "FILE: ".
bool failed(std::string& error, DWORD code)
{
    wchar_t text[512];
    std::wstring_view words(text, ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                                   code, 0, text, static_cast<DWORD>(std::size(text)), nullptr));
    while (!words.empty() && (words.back() == L'\r' || words.back() == L'\n' || words.back() == L'.'))
        words.remove_suffix(1);
    error = words.empty() ? "system error " + std::to_string(code) : utf8(words);
    return false;
}

// Windows refuses a folder with "access denied"; the POSIX build's words say what is wrong.
bool failedOpening(const std::wstring& path, const char* folderWords, std::string& error)
{
    const DWORD code = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return failed(error, code);
    error = folderWords;
    return false;
}

bool readAll(HANDLE handle, std::string& content, std::string& error)
{
    content.clear();
    char buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!::ReadFile(handle, buffer, sizeof buffer, &count, nullptr)) {
            const DWORD code = ::GetLastError();
            return code == ERROR_BROKEN_PIPE || failed(error, code);  // a pipe's writer has finished
        }
        if (count == 0)
            return true;
        content.append(buffer, count);
    }
}

bool writeAll(HANDLE handle, std::string_view text, std::string& error)
{
    while (!text.empty()) {
        DWORD count = 0;
        if (!::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &count, nullptr))
            return failed(error, ::GetLastError());
        if (count == 0)
            return failed(error, ERROR_DISK_FULL);
        text.remove_prefix(count);
    }
    return true;
}

}  // namespace

bool readInput(const std::string& path, std::string& content, std::string& error)
{
    if (path == "-")
        return readAll(::GetStdHandle(STD_INPUT_HANDLE), content, error);
    const std::wstring name = wide(path);
    // A log that splice-records has open for appending can still be read.
    const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failedOpening(name, "file to open is a directory", error);
    const bool read = readAll(file, content, error);
    ::CloseHandle(file);
    return read;
}

bool writeOutputFile(const std::string& path, std::string_view content, std::string& error)
{
    const std::wstring name = wide(path);
    const HANDLE file =
        ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failedOpening(name, "Is a directory", error);
    const bool written = writeAll(file, content, error);
    if (!::CloseHandle(file) && written)
        return failed(error, ::GetLastError());
    return written;
}

bool writeStream(Stream stream, std::string_view text)
{
    const HANDLE handle = ::GetStdHandle(stream == Stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(handle, &mode)) {
        std::string error;
        return writeAll(handle, text, error);  // a file or a pipe takes the UTF-8 bytes as they are
    }
    // A console shows UTF-8 bytes through its code page (850, 437, 1252...): every
    // character outside ASCII would come out wrong. In UTF-16 it shows them all.
    const std::wstring characters = wide(text);
    std::wstring_view rest = characters;
    while (!rest.empty()) {
        DWORD count = 0;
        if (!::WriteConsoleW(handle, rest.data(), static_cast<DWORD>(rest.size()), &count, nullptr) || count == 0)
            return false;
        rest.remove_prefix(count);
    }
    return true;
}

std::vector<std::string> commandLineArguments()
{
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> converted;
    for (int i = 0; arguments && i < count; ++i)
        converted.push_back(utf8(arguments[i]));
    ::LocalFree(arguments);
    return converted;
}

}  // namespace splicerec::report
