#include "window/win32_form1.h"
#include "window/win32_port_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace splicerec {
namespace {

constexpr wchar_t kClassName[] = L"splice-records.form1";
constexpr wchar_t kBoxTitle[] = L"splice-records";
constexpr UINT_PTR kLineTimer = 1;
constexpr UINT kShowUpdate = WM_APP + 1;
// A wait sleeps at most this long between two looks at the line: short, since a record's
// request goes out only once the wait has seen the record.
constexpr DWORD kWaitSliceMs = 1;

// The controls, in twips (1440 to the inch), in tab order. The bar sits under the buttons.
struct Placement {
    Win32Form1::Control id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    int left, top, width, height;
};
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabel = WS_CHILD | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS;
const Placement kPlacements[] = {
    {Win32Form1::kText1, L"EDIT", L"",
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | ES_NOHIDESEL, 240, 240, 6495, 3855},
    {Win32Form1::kCommand2, L"BUTTON", L"StopRead", kButton, 5640, 4800, 1095, 375},
    {Win32Form1::kCommand1, L"BUTTON", L"Start", kButton, 240, 4800, 1095, 375},
    {Win32Form1::kLabel1, L"STATIC", L"", kLabel, 1440, 4320, 5055, 255},  // never shown
    {Win32Form1::kCommand3, L"BUTTON", L"ReadAll", kButton, 3840, 4800, 1095, 375},
    {Win32Form1::kCommand4, L"BUTTON", L"Next Page", kButton, 2040, 4800, 1095, 375},
    {Win32Form1::kCommand5, L"BUTTON", L"Com Test", kButton, 240, 4200, 1095, 375},
    {Win32Form1::kLabel2, L"STATIC", L"", kLabel | WS_VISIBLE, 1440, 4320, 5175, 255},
    {Win32Form1::kProgressBar, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 240, 5205, 6495, 210},
};
constexpr int kClientWidth = 7005, kClientHeight = 5430;
constexpr DWORD kFrameStyle = WS_OVERLAPPEDWINDOW;

int fromTwips(int twips, UINT dpi)
{
    return ::MulDiv(twips, static_cast<int>(dpi), 1440);
}

std::wstring wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring windowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The window's DPI where Windows knows one per window (10 and later), else the system's.
UINT dpiOf(HWND window)
{
    using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowCall>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window)
        if (const UINT dpi = getDpiForWindow(window))
            return dpi;
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The system's message font at `dpi`, the font of every dialog and message box.
HFONT messageFont(UINT dpi)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    using ForDpiCall = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    static const auto forDpi = reinterpret_cast<ForDpiCall>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
        return ::CreateFontIndirectW(&metrics.lfMessageFont);
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return nullptr;
    // The system's metrics are for the system's DPI; this monitor may have another.
    const UINT systemDpi = dpiOf(nullptr);
    metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(systemDpi));
    return ::CreateFontIndirectW(&metrics.lfMessageFont);
}

// The bar draws its numbers over itself, as the Qt bar does: "17 / 57".
LRESULT CALLBACK barWithNumbers(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR font)
{
    const LRESULT result = ::DefSubclassProc(bar, message, wParam, lParam);
    if (message == WM_PAINT) {
        const int length = ::GetWindowTextLengthW(bar);
        if (length > 0) {
            std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
            text.resize(static_cast<std::size_t>(::GetWindowTextW(bar, text.data(), length + 1)));
            RECT area{};
            ::GetClientRect(bar, &area);
            const HDC dc = ::GetDC(bar);
            const HGDIOBJ oldFont = ::SelectObject(dc, *reinterpret_cast<const HFONT*>(font));
            ::SetBkMode(dc, TRANSPARENT);
            ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            ::SelectObject(dc, oldFont);
            ::ReleaseDC(bar, dc);
        }
    }
    return result;
}

// Our own boxes are dialogs of this thread: the message boxes and the port dialog.
BOOL CALLBACK closeIfBox(HWND window, LPARAM)
{
    wchar_t className[16]{};
    if (::GetClassNameW(window, className, static_cast<int>(std::size(className))) && std::wstring(className) == L"#32770")
        ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

}  // namespace

Win32Form1::Win32Form1(HINSTANCE instance) : instance_(instance)
{
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Win32Form1::windowProc;
    windowClass.hInstance = instance_;
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    // The program's icon, where the resources carry one; else Windows' generic one.
    windowClass.hIcon = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                         ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
    windowClass.hIconSm = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                           ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    // A second window in the same process (a test's) finds the class registered already.
    if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("cannot register the window class");

    window_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Record", kFrameStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, this);
    if (!window_)
        throw std::runtime_error("cannot create the window");
    dpi_ = dpiOf(window_);
    createControls();
    layOut();
}

Win32Form1::~Win32Form1()
{
    if (font_)
        ::DeleteObject(font_);
    if (window_) {
        // The window must not call back into a half-destroyed object.
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
}

void Win32Form1::createControls()
{
    for (const auto& placement : kPlacements) {
        const HWND control = ::CreateWindowExW(
            placement.id == kText1 ? WS_EX_CLIENTEDGE : 0, placement.className, placement.text, placement.style, 0, 0, 0, 0,
            window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(placement.id)), instance_, nullptr);
        if (!control)
            throw std::runtime_error("cannot create the window's controls");
    }
    // The page is twenty lines of 40 characters; typed text may add more.
    ::SendMessageW(control(kText1), EM_SETLIMITTEXT, 0, 0);
    const HWND bar = control(kProgressBar);
    ::SendMessageW(bar, PBM_SETRANGE32, 0, 1);
    ::SetWindowSubclass(bar, barWithNumbers, 0, reinterpret_cast<DWORD_PTR>(&font_));

    tooltip_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(control(kCommand5));
    tool.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Form1::layOut()
{
    const HFONT old = std::exchange(font_, messageFont(dpi_));
    for (const auto& placement : kPlacements) {
        const HWND item = control(placement.id);
        ::SetWindowPos(item, nullptr, fromTwips(placement.left, dpi_), fromTwips(placement.top, dpi_),
                       fromTwips(placement.width, dpi_), fromTwips(placement.height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    if (old)
        ::DeleteObject(old);  // only once no control uses it
}

void Win32Form1::show(int showCommand)
{
    // The client area is the size the controls were laid out for; Windows places the window.
    RECT frame{0, 0, fromTwips(kClientWidth, dpi_), fromTwips(kClientHeight, dpi_)};
    ::AdjustWindowRectEx(&frame, kFrameStyle, FALSE, WS_EX_CONTROLPARENT);
    ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(window_, showCommand);
    ::UpdateWindow(window_);
    ::SetFocus(control(kText1));
}

LRESULT CALLBACK Win32Form1::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (auto* self = reinterpret_cast<Win32Form1*>(::GetWindowLongPtrW(window, GWLP_USERDATA)))
        return self->handle(message, wParam, lParam);
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32Form1::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) >= kCommand1 && LOWORD(wParam) <= kCommand5)
            press(static_cast<Control>(LOWORD(wParam)));
        return 0;
    case kShowUpdate:
        showUpdate();
        return 0;
    case WM_TIMER:
        // Also while a box is up: its own loop dispatches the timer.
        if (wParam == kLineTimer)
            pollLine();
        return 0;
    case WM_GETMINMAXINFO: {
        // Smaller, the buttons would be cut off: nothing moves when the window is resized.
        RECT frame{0, 0, fromTwips(kClientWidth, dpi_), fromTwips(kClientHeight, dpi_)};
        ::AdjustWindowRectEx(&frame, kFrameStyle, FALSE, WS_EX_CONTROLPARENT);
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
        return 0;
    }
    case WM_DPICHANGED: {
        // Dragged to a monitor of another scale: the same layout, sharp at the new one.
        dpi_ = HIWORD(wParam);
        layOut();
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CLOSE:
        requestQuit();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // Once this returns, Windows may end the process without unwinding the waits.
        if (wParam) {
            requestQuit();
            if (sessionEnd_)
                sessionEnd_();
        }
        return 0;
    case WM_DESTROY:
        windowGone();
        return 0;
    default: return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

void Win32Form1::windowGone()
{
    // Destroyed by someone else, or at the end: either way every wait must end.
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    window_ = nullptr;
    quitRequested_ = true;
    closeBoxes();
}

void Win32Form1::press(Control id)
{
    const auto& handler = id == kCommand5 ? handlers_.comTest
                          : id == kCommand1 ? handlers_.start
                          : id == kCommand4 ? handlers_.nextPage
                          : id == kCommand3 ? handlers_.readAll
                                            : handlers_.stopRead;
    if (quitRequested_ || !handler)
        return;
    const auto press = ++presses_;
    const HWND button = control(id);
    handler();
    // A button pressed inside this handler's waits placed the focus itself.
    if (press == presses_)
        keepFocusNear(button);
}

void Win32Form1::keepFocusNear(HWND pressed)
{
    // A handler disables its own button while it runs; the focus must not then land on
    // Com Test, where a second Space would restart the link test.
    if (quitRequested_ || !window_ || ::GetFocus() == control(kText1))
        return;
    for (HWND next = pressed;;) {
        if (::IsWindowEnabled(next))
            return void(::SetFocus(next));
        next = ::GetNextDlgTabItem(window_, next, FALSE);
        if (!next || next == pressed || next == control(kText1))
            return;
    }
}

bool Win32Form1::handledKey(const MSG& message)
{
    if (message.message != WM_KEYDOWN || !window_ || (message.hwnd != window_ && ::GetParent(message.hwnd) != window_))
        return false;
    const bool control = ::GetKeyState(VK_CONTROL) < 0, alt = ::GetKeyState(VK_MENU) < 0;
    if (message.wParam == 'Q' && control && !alt) {
        requestQuit();
        return true;
    }
    if (message.wParam == VK_TAB && !control && !alt) {
        // Tab walks through the controls, also out of the page, as in the Qt window.
        const bool back = ::GetKeyState(VK_SHIFT) < 0;
        if (const HWND next = ::GetNextDlgTabItem(window_, message.hwnd == window_ ? nullptr : message.hwnd, back))
            ::SetFocus(next);
        return true;
    }
    // Enter presses the focused button, as Space does; in the page it starts a new line.
    if (message.wParam == VK_RETURN && !control && !alt) {
        const int id = ::GetDlgCtrlID(message.hwnd);
        if (id >= kCommand1 && id <= kCommand5) {
            if (::IsWindowEnabled(message.hwnd))
                press(static_cast<Control>(id));
            return true;
        }
    }
    return false;
}

bool Win32Form1::dispatchPending(bool userInput)
{
    // Held back, the keys and clicks wait in the queue for a pump that takes them.
    const auto next = [userInput](MSG& message) {
        if (userInput)
            return ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE;
        return ::PeekMessageW(&message, nullptr, 0, WM_KEYFIRST - 1, PM_REMOVE) ||
               ::PeekMessageW(&message, nullptr, WM_KEYLAST + 1, WM_MOUSEFIRST - 1, PM_REMOVE) ||
               ::PeekMessageW(&message, nullptr, WM_MOUSELAST + 1, 0xFFFFFFFF, PM_REMOVE);
    };
    bool dispatched = false;
    MSG message;
    while (next(message)) {
        dispatched = true;
        if (message.message == WM_QUIT) {
            requestQuit();
            continue;
        }
        if (handledKey(message))
            continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
        // A timer comes only once nothing else waits. One whose handler outlasts its period
        // (a write that a stalled line never takes waits out its timeout) is due again at
        // once, and would keep this loop, and the wait around it, from ever ending.
        if (message.message == WM_TIMER)
            break;
    }
    return dispatched;
}

void Win32Form1::pumpEvents(bool userInput)
{
    pollLine();
    if (dispatchPending(userInput) || quitRequested_)
        return;
    DWORD slice = kWaitSliceMs;
    // Input held back wakes nobody: the queue keeps it.
    const DWORD wakeFor = userInput ? QS_ALLINPUT : QS_ALLINPUT & ~QS_INPUT;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, slice, wakeFor, 0);
    pollLine();
}

void Win32Form1::run()
{
    while (!quitRequested_) {
        dispatchPending(true);
        scheduleLinePoll();
        if (!quitRequested_)
            ::WaitMessage();
    }
}

void Win32Form1::pollLine()
{
    if (line_.poll)
        line_.poll();
    scheduleLinePoll();
}

void Win32Form1::scheduleLinePoll()
{
    const auto every = line_.next && window_ ? line_.next() : std::nullopt;
    if (every == linePollEvery_)
        return;
    linePollEvery_ = every;
    if (!every)
        ::KillTimer(window_, kLineTimer);
    else
        ::SetTimer(window_, kLineTimer, static_cast<UINT>(std::max<long long>(every->count(), USER_TIMER_MINIMUM)), nullptr);
}

void Win32Form1::requestQuit()
{
    quitRequested_ = true;
    closeBoxes();
    if (window_)
        ::ShowWindow(window_, SW_HIDE);
}

void Win32Form1::closeBoxes()
{
    // Each box's own loop ends as it meets its cancel; the handler that opened it then
    // meets the quit flag at its next wait.
    if (openBoxes_ > 0)
        ::EnumThreadWindows(::GetCurrentThreadId(), closeIfBox, 0);
}

void Win32Form1::setPortName(const std::string& device)
{
    portTip_ = L"Tests the link to the splicer on " + wide(device);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(control(kCommand5));
    tool.lpszText = portTip_.data();
    ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

static Win32Form1::Control idOf(Button button)
{
    switch (button) {
    case Button::Command1: return Win32Form1::kCommand1;
    case Button::Command2: return Win32Form1::kCommand2;
    case Button::Command3: return Win32Form1::kCommand3;
    case Button::Command4: return Win32Form1::kCommand4;
    }
    return Win32Form1::kCommand1;
}

void Win32Form1::setEnabled(Button button, bool enabled)
{
    const HWND item = control(idOf(button));
    // A disabled button keeps the focus, where no key reaches anything: the window takes it.
    if (!enabled && item && ::GetFocus() == item)
        ::SetFocus(window_);
    ::EnableWindow(item, enabled);
    enabled_[static_cast<int>(button)] = enabled;
}

bool Win32Form1::buttonEnabled(Button button) const
{
    const HWND item = control(idOf(button));
    return item ? ::IsWindowEnabled(item) != FALSE : enabled_[static_cast<int>(button)];
}

void Win32Form1::setStatusText(const std::string& text)
{
    statusText_ = text;
    ::SetWindowTextW(control(kLabel2), wide(text).c_str());
}

void Win32Form1::setPageText(const std::string& text)
{
    pageText_ = text;
    shownPageText_ = wide(text);
    showLater();
}

void Win32Form1::showLater()
{
    // Drawn from the event loop, not here: the request for the next record must not wait
    // for the page and the bar to be drawn while the instrument idles.
    if (!updatePending_ && window_)
        updatePending_ = ::PostMessageW(window_, kShowUpdate, 0, 0) != FALSE;
}

void Win32Form1::showUpdate()
{
    updatePending_ = false;
    const HWND page = control(kText1);
    const std::wstring shown = windowText(page);
    if (shown != shownPageText_) {
        // A record added to the page is one more line: appended, only that line is drawn.
        if (!shown.empty() && shownPageText_.starts_with(shown) && shownPageText_.compare(shown.size(), 2, L"\r\n") == 0) {
            ::SendMessageW(page, EM_SETSEL, shown.size(), static_cast<LPARAM>(shown.size()));
            ::SendMessageW(page, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(shownPageText_.c_str() + shown.size()));
        } else {
            ::SetWindowTextW(page, shownPageText_.c_str());
        }
        // Twenty lines do not all fit the box, and it has no scroll bars: keep the record
        // that just arrived in sight.
        const auto end = static_cast<WPARAM>(::GetWindowTextLengthW(page));
        ::SendMessageW(page, EM_SETSEL, end, static_cast<LPARAM>(end));
        ::SendMessageW(page, EM_SCROLLCARET, 0, 0);
    }
    if (progressShown_) {
        const HWND bar = control(kProgressBar);
        ::SendMessageW(bar, PBM_SETRANGE32, 0, progressTotal_);
        ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(progressReceived_), 0);
        ::SetWindowTextW(bar, (std::to_wstring(progressReceived_) + L" / " + std::to_wstring(progressTotal_)).c_str());
        ::InvalidateRect(bar, nullptr, FALSE);
    }
}

std::string Win32Form1::pageText() const
{
    const HWND page = control(kText1);
    if (updatePending_ || !page)
        return pageText_;
    const std::wstring shown = windowText(page);
    // The technician may have typed into the page; the edit keeps CR LF as the logic does.
    return shown == shownPageText_ ? pageText_ : utf8(shown);
}

void Win32Form1::setRecordCaption(const std::string& text)
{
    recordCaption_ = text;
    ::SetWindowTextW(control(kLabel1), wide(text).c_str());
}

void Win32Form1::showProgress(int received, int total)
{
    progressTotal_ = std::max(total, 1);
    progressReceived_ = std::clamp(received, 0, progressTotal_);
    progressShown_ = true;
    showLater();
}

std::optional<std::string> Win32Form1::askForPort(const std::vector<PortOffer>& ports, const std::string& current)
{
    if (quitRequested_)
        return std::nullopt;
    ++openBoxes_;
    auto picked = runPortDialog(instance_, window_, ports, current);
    --openBoxes_;
    return quitRequested_ ? std::nullopt : picked;
}

void Win32Form1::showMessage(const std::string& text, const std::string& detail)
{
    if (quitRequested_)
        return;  // nobody is left to read it, and it would hold the closing program
    std::wstring shown = wide(text);
    if (!detail.empty())
        shown += L"\n\n" + wide(detail);
    ++openBoxes_;
    ::MessageBoxW(window_, shown.c_str(), kBoxTitle, MB_OK | MB_SETFOREGROUND);
    --openBoxes_;
}

}  // namespace splicerec
