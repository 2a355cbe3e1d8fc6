#include "run_program.h"

#include <windows.h>

namespace splicerec::report::harness {
namespace {

// One argument as CommandLineToArgvW splits it again: quotes around it, a backslash
// doubled only where a quote follows it.
std::wstring quoted(const std::wstring& argument)
{
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    return text.append(2 * backslashes, L'\\') + L"\"";
}

// The input through a pipe, as "type log | splice-report -" gives it, written whole
// before the program starts.
HANDLE inputPipe(const std::string& input)
{
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    DWORD written = 0;
    if (!::CreatePipe(&read, &write, &inherited, static_cast<DWORD>(input.size() + 1)))
        return INVALID_HANDLE_VALUE;
    ::SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
    ::WriteFile(write, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    ::CloseHandle(write);
    return read;
}

// A temporary file the child inherits for its output; a file needs no draining.
HANDLE scratchFile()
{
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, folder);
    ::GetTempFileNameW(folder, L"rep", 0, name);
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    return ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string readBack(HANDLE file)
{
    std::string text;
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD count = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0)
        text.append(buffer, count);
    ::CloseHandle(file);
    return text;
}

}  // namespace

Outcome runProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& input)
{
    // The command line in UTF-16, as Explorer or a console hands it over: what a name in
    // any script arrives as.
    std::wstring commandLine = quoted(pathOf(program).wstring());
    for (const std::string& argument : arguments)
        commandLine += L" " + quoted(pathOf(argument).wstring());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputPipe(input);
    startup.hStdOutput = scratchFile();
    startup.hStdError = scratchFile();
    PROCESS_INFORMATION process{};
    Outcome outcome;
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        DWORD status = 0;
        ::WaitForSingleObject(process.hProcess, INFINITE);
        if (::GetExitCodeProcess(process.hProcess, &status))
            outcome.status = static_cast<int>(status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(startup.hStdInput);
    outcome.out = readBack(startup.hStdOutput);
    outcome.err = readBack(startup.hStdError);
    return outcome;
}

}  // namespace splicerec::report::harness
