#include <windows.h>

#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/win32_port_memory.h"
#include "app/win32_program.h"
#include "log/record_log.h"
#include "serial/win32_port_list.h"
#include "serial/windows_ports.h"

namespace {

// The command line as Windows holds it, in UTF-16, so that a log in a folder named in
// any language arrives whole.
std::vector<std::string> arguments()
{
    int count = 0;
    wchar_t** list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i)
        result.push_back(splicerec::utf8FromWide(list[i]));
    // The usage names the program as the technician types it, not by its full path.
    if (!result.empty())
        result.front() = "splice-records";
    ::LocalFree(list);
    return result;
}

// A window program has no console of its own: the text goes where the output was sent
// (a file, a pipe), else to the console it was started from, else into a box.
void say(std::string text, bool error)
{
    // Windows' own line ends, for Notepad and the console alike.
    for (auto at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.insert(at, 1, '\r');
    DWORD written = 0;
    const DWORD which = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    const HANDLE redirected = ::GetStdHandle(which);
    if (redirected && redirected != INVALID_HANDLE_VALUE && ::GetFileType(redirected) != FILE_TYPE_UNKNOWN &&
        ::GetFileType(redirected) != FILE_TYPE_CHAR) {
        ::WriteFile(redirected, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE) {
            const std::wstring shown = splicerec::wideFromUtf8(text);
            ::WriteConsoleW(console, shown.data(), static_cast<DWORD>(shown.size()), &written, nullptr);
            ::CloseHandle(console);
            return;
        }
    }
    ::MessageBoxW(nullptr, splicerec::wideFromUtf8(text).c_str(), L"splice-records", MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    const auto ports = splicerec::listComPorts();
    const std::string defaultPort = splicerec::chooseDefaultPort(ports);
    const auto command = splicerec::parseCommandLine(
        arguments(), {.version = SPLICE_VERSION, .defaultPort = defaultPort,
                      .defaultLogPath = splicerec::RecordLog::defaultPath()});
    using Action = splicerec::ParsedCommandLine::Action;
    switch (command.action) {
    case Action::ShowHelp:
    case Action::ShowVersion: say(command.text, false); return command.exitCode();
    case Action::ListPorts: say(splicerec::formatComPortList(ports, defaultPort), false); return 0;
    case Action::Fail: say(command.text, true); return command.exitCode();
    case Action::Run: break;
    }
    const auto& options = command.options;
    // Only a real port is picked and remembered.
    splicerec::IniPortMemory memory(splicerec::portMemoryFile());
    try {
        const auto program =
            options.demo ? std::make_unique<splicerec::Win32Program>(instance, splicerec::Win32Program::Demo{}, options.logPath)
                         : std::make_unique<splicerec::Win32Program>(instance, options.port, options.logPath, &memory);
        program->window().show(showCommand);
        program->window().run();
    } catch (const std::exception& error) {
        say(std::string("splice-records: ") + error.what() + "\n", true);
        return 1;
    }
    return 0;
}
