// The scenario table against the Windows program as it ships: its Win32 window, the COM
// port on COM1, the record log on disk and the steady clock, under Wine. The row's
// instrument is a Linux process (scenario-line, started by scenario_com1.sh) on the
// pseudo-terminal that COM1 leads to; it tells what it heard, and hangs up on cue, through
// files in the folder named by SPLICE_SCENARIO_LINE. A thread timer plays each step, also
// inside nested waits and message boxes, as the Linux runner does.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "app/win32_program.h"
#include "scenarios/outcome.h"
#include "serial/win32_port_list.h"
#include "serial/win32_serial_port.h"
#include "support/cpu_time.h"
#include "support/fakes.h"

namespace splicerec::test {
namespace {

constexpr UINT kStepMessage = WM_APP + 1;

std::wstring textOf(HWND window)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool hasClass(HWND window, const wchar_t* name)
{
    wchar_t found[32]{};
    return ::GetClassNameW(window, found, static_cast<int>(std::size(found))) && ::lstrcmpiW(found, name) == 0;
}

std::string contents(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Dispatches whatever comes for `ms`, as an idle program's own loop would.
void pumpFor(DWORD ms)
{
    const DWORD end = ::GetTickCount() + ms;
    for (DWORD now = ::GetTickCount(); static_cast<LONG>(end - now) > 0; now = ::GetTickCount()) {
        ::MsgWaitForMultipleObjectsEx(0, nullptr, end - now, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG message;
        while (static_cast<LONG>(end - ::GetTickCount()) > 0 && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

// The folder through which scenario-line speaks, as a Windows path (Z: is the Linux root).
std::filesystem::path lineFolder()
{
    wchar_t folder[MAX_PATH]{};
    const DWORD length = ::GetEnvironmentVariableW(L"SPLICE_SCENARIO_LINE", folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::filesystem::path(folder) : std::filesystem::path();
}

struct Rig {
    explicit Rig(const Scenario& row) : row(row), player(row.steps), line(lineFolder())
    {
        wchar_t temp[MAX_PATH]{};
        ::GetTempPathW(MAX_PATH, temp);
        dir = std::filesystem::path(temp) /
              (L"splice-stack-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount()));
        std::filesystem::create_directories(dir);
        logPath = dir / L"RECORD.txt";
        switch (row.setup) {
        case Setup::LogFolderMissing: logPath = dir / L"gone" / L"RECORD.txt"; break;
        case Setup::LogWithoutLineEnd: std::ofstream(logPath, std::ios::binary) << expectedLine(57); break;
        case Setup::None: break;
        default: ADD_FAILURE() << "a set-up this runner cannot make";
        }
        program = std::make_unique<Win32Program>(::GetModuleHandleW(nullptr), "COM1", utf8FromWide(logPath.wstring()));
        program->window().show();

        WNDCLASSW steps{};
        steps.lpfnWndProc = &Rig::stepProc;
        steps.hInstance = ::GetModuleHandleW(nullptr);
        steps.lpszClassName = L"splice-stack.steps";
        ::RegisterClassW(&steps);
        stepWindow = ::CreateWindowW(steps.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, steps.hInstance, nullptr);
    }
    ~Rig()
    {
        stop();
        program.reset();
        ::DestroyWindow(stepWindow);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    long nowMs() const
    {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    }

    // Plays the steps until the program is at rest with every step done, or the time is up.
    void play()
    {
        current = this;
        start = std::chrono::steady_clock::now();
        // Any loop of the thread dispatches it, a box's too; Windows makes 2 ms its 10 ms minimum.
        ticker = ::SetTimer(nullptr, 0, 2, &Rig::onTicker);
        clicks = ::SetWindowsHookExW(WH_GETMESSAGE, &Rig::onMessage, nullptr, ::GetCurrentThreadId());
        // The runner's own loop is the program's idle loop: a tick it dispatches itself runs
        // while no handler does; one dispatched by a wait or a box, inside one.
        while (!finished() && nowMs() < restWithinMs + 10'000) {
            MSG message;
            if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
                continue;
            }
            if (message.message == WM_TIMER && !message.hwnd && message.wParam == ticker) {
                tick(true);
                continue;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        stop();
    }
    void stop()
    {
        if (ticker)
            ::KillTimer(nullptr, std::exchange(ticker, 0));
        if (clicks)
            ::UnhookWindowsHookEx(std::exchange(clicks, nullptr));
        current = nullptr;
    }
    bool finished() const { return player.done() && busy == 0 && !openBox(); }

    // The message box open now, if any: a dialog of this thread.
    static HWND openBox()
    {
        HWND box = nullptr;
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND window, LPARAM found) {
                if (!::IsWindowVisible(window) || !hasClass(window, L"#32770"))
                    return TRUE;
                *reinterpret_cast<HWND*>(found) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&box));
        return box;
    }
    // Its text, and the detail the window shows as a second paragraph on the next line.
    static std::string boxText(HWND box)
    {
        auto text = utf8FromWide(textOf(::GetDlgItem(box, 0xFFFF)));
        if (const auto at = text.find("\n\n"); at != std::string::npos)
            text.erase(at, 1);
        return text;
    }

    long heard() const
    {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        return ::GetFileAttributesExW((line / L"heard").c_str(), GetFileExInfoStandard, &data) ? long(data.nFileSizeLow) : 0;
    }
    bool lineDown() const { return ::GetFileAttributesW((line / L"hung-up").c_str()) != INVALID_FILE_ATTRIBUTES; }

    // The button the technician would click, found by its caption.
    HWND button(const char* caption) const
    {
        const HWND form = program->window().handle();
        for (HWND child = form ? ::GetWindow(form, GW_CHILD) : nullptr; child; child = ::GetWindow(child, GW_HWNDNEXT))
            if (hasClass(child, L"Button") && utf8FromWide(textOf(child)) == caption)
                return child;
        return nullptr;
    }

    void act(const Step& step)
    {
        switch (step.action) {
        case Step::Click:
            // Posted, as the mouse's messages are: held in the queue while the program takes
            // no input, and dropped if the button is disabled when they are taken (onMessage).
            if (const HWND target = button(step.button)) {
                ++clicksQueued;
                ::PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
                ::PostMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
            } else {
                ADD_FAILURE() << "no button " << step.button;
                --busy;
            }
            return;
        case Step::HangUp:
            hangUpAt = nowMs();
            std::ofstream(line / L"hang-up").put('\n');
            break;
        case Step::Quit: program->window().requestQuit(); break;
        case Step::CloseWindow: ::PostMessageW(program->window().handle(), WM_CLOSE, 0, 0); break;
        case Step::DestroyWindow: ::DestroyWindow(program->window().handle()); break;
        case Step::Stall: ::Sleep(kStallMs); break;
        case Step::AnswerBox:
            if (const HWND box = openBox())
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            break;
        case Step::Sigterm: ADD_FAILURE() << "no signals on Windows"; break;
        }
        --busy;
    }

    // Fires every few milliseconds, also inside nested waits and message boxes.
    void tick(bool idleLoop)
    {
        const long now = nowMs();
        if (now > restWithinMs && !program->window().quitRequested()) {
            timedOut = true;  // end every wait: fail, do not hang
            program->window().requestQuit();
        }
        if (!idleLoop && now > restWithinMs + 15'000) {
            // Still inside a handler long after the quit: a pump that never returns.
            std::fprintf(stderr, "A handler still runs %ld ms after the quit: a wait that never ends\n", now - restWithinMs);
            std::fflush(stderr);
            ::ExitProcess(3);
        }
        if (!hangUpAt && lineDown())
            hangUpAt = now;
        if (hangUpAt && !closedAfterHangUp && !program->port().isOpen())
            closedAfterHangUp = now - *hangUpAt;
        const HWND box = openBox();
        if (box && box != noted)
            boxes.push_back(boxText(box));
        noted = box;
        if (const Step* step = player.due(now, heard(), idleLoop && busy == 0 && !box, box != nullptr)) {
            ++busy;
            // Out of the timer's call, so that the timer keeps firing inside the step.
            ::PostMessageW(stepWindow, kStepMessage, 0, reinterpret_cast<LPARAM>(step));
        } else if (box && !player.nextIsInBox() && box != answered && !program->window().quitRequested()) {
            // After a quit the program closes its boxes itself: one it leaves open holds the row.
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            answered = box;
        }
    }

    static void CALLBACK onTicker(HWND, UINT, UINT_PTR, DWORD)
    {
        if (current)
            current->tick(false);
    }
    static LRESULT CALLBACK stepProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == kStepMessage && current)
            return current->act(*reinterpret_cast<const Step*>(lParam)), 0;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    // A click reaches no disabled button, nor one of a window that a box disables.
    static LRESULT CALLBACK onMessage(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* message = reinterpret_cast<MSG*>(lParam);
        if (code == HC_ACTION && wParam == PM_REMOVE && current &&
            (message->message == WM_LBUTTONDOWN || message->message == WM_LBUTTONUP)) {
            const bool up = message->message == WM_LBUTTONUP;
            if (!::IsWindowEnabled(message->hwnd) || !::IsWindowEnabled(::GetParent(message->hwnd)))
                message->message = WM_NULL;
            if (up && current->clicksQueued > 0) {
                --current->clicksQueued;
                --current->busy;
            }
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    Outcome outcome() const
    {
        auto& form = program->window();
        const auto enabled = [&form](Button button) { return form.buttonEnabled(button); };
        Outcome got{boxes, form.statusText(), enabledButtons(enabled), program->port().isOpen(), {}, form.pageText(),
                    contents(line / L"heard")};
        const std::string log = std::filesystem::is_regular_file(logPath) ? contents(logPath) : "";
        for (std::size_t at = 0, end; at < log.size(); at = end + 2) {
            end = std::min(log.find("\r\n", at), log.size());
            if (end > at)
                got.log.push_back(log.substr(at, end - at));
        }
        return got;
    }

    static inline Rig* current = nullptr;
    const Scenario& row;
    StepPlayer player;
    std::filesystem::path line, dir, logPath;
    std::unique_ptr<Win32Program> program;
    HWND stepWindow = nullptr;
    UINT_PTR ticker = 0;
    HHOOK clicks = nullptr;
    std::chrono::steady_clock::time_point start;
    // Wine lays out the page and the bar in about 15 ms a record, where Linux takes well
    // under one: thousands of records need minutes.
    long restWithinMs = 30'000 + 50L * std::min(row.behaviour.records, 5000);
    int busy = 0, clicksQueued = 0;
    std::optional<long> hangUpAt, closedAfterHangUp;
    HWND noted = nullptr, answered = nullptr;
    bool timedOut = false;
    std::vector<std::string> boxes;
};

class Win32Stack : public testing::TestWithParam<Scenario> {};

TEST_P(Win32Stack, endsAsTheRowSaysAndComesToRest)
{
    const Scenario& row = GetParam();
    ASSERT_FALSE(lineFolder().empty()) << "run by scenario_com1.sh, which serves the row on COM1";
    Rig rig(row);
    EXPECT_EQ(rig.outcome().buttons, "") << "after start-up only Com Test is enabled";
    rig.play();
    EXPECT_TRUE(rig.finished()) << "not at rest, or a step never came due";
    EXPECT_FALSE(rig.timedOut) << "not at rest in time";
    Outcome got = rig.outcome();
    // At rest means idle: no handler polling, no port error repeating.
    const double before = cpuSeconds();
    pumpFor(500);
    EXPECT_LT(cpuSeconds() - before, 0.1) << "CPU seconds in 0.5 s at rest";
    // scenario-line writes down what it heard up to a millisecond after it answered: read
    // once the program has been at rest a while, so that nothing is on its way.
    got.heard = contents(rig.line / L"heard");
    expectOutcome(row, got, "COM1", utf8FromWide(rig.logPath.wstring()));

    // A program that quit mid-wait leaves the port free for the next opener.
    rig.program.reset();
    if (row.steps.back().action >= Step::Quit) {
        Win32SerialPort again("COM1");
        EXPECT_NO_THROW(again.open());
    }

    if (std::find(row.boxes.begin(), row.boxes.end(), kLost) != row.boxes.end()) {
        ASSERT_TRUE(rig.closedAfterHangUp.has_value()) << "the port stayed open after the hang-up";
        EXPECT_LT(*rig.closedAfterHangUp, 1000);
    }
}

// Windows: a window of its own, a log file on disk and the instrument on COM1. No device
// nodes, FIFOs or signals; no full disk, scripted port or log, nor driven clock.
INSTANTIATE_TEST_SUITE_P(Scenarios, Win32Stack, testing::ValuesIn(rowsFor(kWindowSystem | kLogFile)),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace splicerec::test
