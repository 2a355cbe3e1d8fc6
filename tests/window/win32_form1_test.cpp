// The Win32 window read back through the Win32 API, and what its pump must honour.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "window/win32_form1.h"

namespace splicerec {
namespace {

std::wstring textOf(HWND window)
{
    wchar_t text[256]{};
    ::GetWindowTextW(window, text, 256);
    return text;
}

std::wstring classOf(HWND window)
{
    wchar_t name[64]{};
    ::GetClassNameW(window, name, 64);
    return name;
}

struct Form : testing::Test {
    Form() : form(::GetModuleHandleW(nullptr))
    {
        form.setHandlers({[this] { pressed += "T"; }, [this] { pressed += "S"; }, [this] { pressed += "N"; },
                          [this] { pressed += "A"; }, [this] { pressed += "X"; }});
        form.show();
    }
    // Dispatches what is queued, as the program's waits do.
    void pump(bool userInput = true)
    {
        for (int i = 0; i < 20; ++i)
            form.pumpEvents(userInput);
    }
    // A click as the mouse makes it: queued input for the button.
    void click(Win32Form1::Control id)
    {
        const HWND button = form.control(id);
        ::PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        ::PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
    void key(HWND target, WPARAM virtualKey)
    {
        ::PostMessageW(target, WM_KEYDOWN, virtualKey, 1);
        ::PostMessageW(target, WM_KEYUP, virtualKey, 0xC0000001);
    }

    Win32Form1 form;
    std::string pressed;
};

// The layout table in twips, written out from the window's description: control, kind,
// text, left, top, width, height, shown. Listed in tab order.
struct Expected {
    Win32Form1::Control id;
    const wchar_t* className;
    const wchar_t* text;
    int left, top, width, height;
    bool visible;
};
const Expected kLayout[] = {
    {Win32Form1::kText1, L"Edit", L"", 240, 240, 6495, 3855, true},
    {Win32Form1::kCommand2, L"Button", L"StopRead", 5640, 4800, 1095, 375, true},
    {Win32Form1::kCommand1, L"Button", L"Start", 240, 4800, 1095, 375, true},
    {Win32Form1::kLabel1, L"Static", L"", 1440, 4320, 5055, 255, false},
    {Win32Form1::kCommand3, L"Button", L"ReadAll", 3840, 4800, 1095, 375, true},
    {Win32Form1::kCommand4, L"Button", L"Next Page", 2040, 4800, 1095, 375, true},
    {Win32Form1::kCommand5, L"Button", L"Com Test", 240, 4200, 1095, 375, true},
    {Win32Form1::kLabel2, L"Static", L"", 1440, 4320, 5175, 255, true},
};

TEST_F(Form, laysOutTheControlsOfTheTableInTwipsAtTheWindowsDpi)
{
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    const auto pixels = [dpi](int twips) { return twips * dpi / 1440; };  // exact at 96 and 144 dpi

    EXPECT_EQ(textOf(form.handle()), L"Record");
    RECT client{};
    ::GetClientRect(form.handle(), &client);
    EXPECT_EQ(client.right, pixels(7005));
    EXPECT_EQ(client.bottom, pixels(5430));

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    for (const auto& control : kLayout) {
        SCOPED_TRACE(testing::Message() << "control " << control.id);
        const HWND item = form.control(control.id);
        ASSERT_TRUE(item);
        EXPECT_EQ(_wcsicmp(classOf(item).c_str(), control.className), 0);
        EXPECT_EQ(textOf(item), control.text);
        RECT place{};
        ::GetWindowRect(item, &place);
        ::MapWindowPoints(nullptr, form.handle(), reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, pixels(control.left));
        EXPECT_EQ(place.top, pixels(control.top));
        EXPECT_EQ(place.right - place.left, pixels(control.width));
        EXPECT_EQ(place.bottom - place.top, pixels(control.height));
        EXPECT_EQ(::IsWindowVisible(item) != FALSE, control.visible);
        // The system's message font, as every dialog has it.
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(item, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_STREQ(font.lfFaceName, metrics.lfMessageFont.lfFaceName);
    }
    // No scroll bars on the page; it takes Enter as a new line.
    const LONG pageStyle = ::GetWindowLongW(form.control(Win32Form1::kText1), GWL_STYLE);
    EXPECT_EQ(pageStyle & (WS_VSCROLL | WS_HSCROLL), 0);
    EXPECT_TRUE(pageStyle & ES_MULTILINE);
    EXPECT_TRUE(pageStyle & ES_WANTRETURN);

    // Tab walks the controls that take the focus in the table's order, from the page.
    std::vector<int> order;
    HWND at = form.control(Win32Form1::kText1);
    EXPECT_EQ(::GetFocus(), at) << "the focus starts in the page";
    for (int i = 0; i < 6; ++i) {
        order.push_back(::GetDlgCtrlID(at));
        at = ::GetNextDlgTabItem(form.handle(), at, FALSE);
    }
    EXPECT_EQ(order, (std::vector<int>{Win32Form1::kText1, Win32Form1::kCommand2, Win32Form1::kCommand1,
                                       Win32Form1::kCommand3, Win32Form1::kCommand4, Win32Form1::kCommand5}));

    // Smaller than laid out, the buttons would be cut off.
    RECT frame{};
    ::GetWindowRect(form.handle(), &frame);
    ::SetWindowPos(form.handle(), nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
    ::GetClientRect(form.handle(), &client);
    EXPECT_GE(client.right, pixels(7005));
    EXPECT_GE(client.bottom, pixels(5430));
}

TEST_F(Form, movedToAMonitorAtOneAndAHalfTimesTheScaleItLaysTheTableOutAgainThere)
{
    const auto fontHeight = [](HWND item) {
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(item, WM_GETFONT, 0, 0)), sizeof font, &font);
        return std::abs(font.lfHeight);
    };
    const LONG heightBefore = fontHeight(form.control(Win32Form1::kCommand5));
    // What Windows sends when the window reaches a monitor at 150%, with the frame it suggests.
    RECT suggested{50, 50, 50 + 720, 50 + 600};
    ::SendMessageW(form.handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    for (const auto& control : kLayout) {
        SCOPED_TRACE(testing::Message() << "control " << control.id);
        RECT place{};
        ::GetWindowRect(form.control(control.id), &place);
        ::MapWindowPoints(nullptr, form.handle(), reinterpret_cast<POINT*>(&place), 2);
        // 1440 twips to the inch, 144 pixels to the inch: a tenth, to the nearest pixel.
        const auto pixels = [](int twips) { return (twips + 5) / 10; };
        EXPECT_EQ(place.left, pixels(control.left));
        EXPECT_EQ(place.top, pixels(control.top));
        EXPECT_EQ(place.right - place.left, pixels(control.width));
        EXPECT_EQ(place.bottom - place.top, pixels(control.height));
    }
    EXPECT_EQ(fontHeight(form.control(Win32Form1::kCommand5)), (heightBefore * 3 + 1) / 2);  // to the nearest pixel
    RECT frame{};
    ::GetWindowRect(form.handle(), &frame);
    EXPECT_EQ(frame.right - frame.left, 720);
}

TEST_F(Form, holdsClicksAndKeysBackWhileTheWaitAsksAndRunsThemAfterwards)
{
    form.setEnabled(Button::Command1, true);
    click(Win32Form1::kCommand1);
    ::SetFocus(form.control(Win32Form1::kCommand5));
    key(form.control(Win32Form1::kCommand5), VK_RETURN);
    pump(false);
    EXPECT_EQ(pressed, "");
    pump(true);
    EXPECT_EQ(pressed, "ST");
}

TEST_F(Form, enterAndSpacePressTheFocusedButtonAndTabLeavesThePage)
{
    struct Case {
        const char* name;
        Win32Form1::Control focus;
        WPARAM key;
        std::string pressed;
        Win32Form1::Control focusAfter;
    };
    const Case cases[] = {
        {"Enter on ReadAll", Win32Form1::kCommand3, VK_RETURN, "A", Win32Form1::kCommand3},
        {"Space on Com Test", Win32Form1::kCommand5, VK_SPACE, "T", Win32Form1::kCommand5},
        {"Enter in the page", Win32Form1::kText1, VK_RETURN, "", Win32Form1::kText1},
        {"Tab in the page", Win32Form1::kText1, VK_TAB, "", Win32Form1::kCommand2},
    };
    form.setEnabled(Button::Command3, true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pressed.clear();
        const HWND target = form.control(c.focus);
        ::SetFocus(target);
        key(target, c.key);
        if (c.key == VK_SPACE)  // a button clicks on the character and the release
            ::PostMessageW(target, WM_CHAR, L' ', 1);
        pump();
        EXPECT_EQ(pressed, c.pressed);
        EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), c.focusAfter);
    }
}

TEST_F(Form, aHandlerThatDisablesItsButtonHandsTheFocusToTheNextEnabledOneNotComTest)
{
    form.setHandlers({[] {},
                      [this] {
                          form.setEnabled(Button::Command1, false);
                          form.setEnabled(Button::Command3, true);
                      },
                      [] {}, [] {}, [] {}});
    form.setEnabled(Button::Command1, true);
    ::SetFocus(form.control(Win32Form1::kCommand1));
    key(form.control(Win32Form1::kCommand1), VK_RETURN);
    pump();
    EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), Win32Form1::kCommand3);
}

TEST_F(Form, theLineIsPolledInsideAMessageBoxAndQuitClosesTheBox)
{
    int polls = 0;
    bool lineOpen = true;
    form.setLine({[&] {
                      ++polls;
                      // The receive handler of a record that arrives while the box is up.
                      if (polls == 30 && form.openBoxes() == 1)
                          form.requestQuit();
                  },
                  [&]() -> std::optional<std::chrono::milliseconds> {
                      if (!lineOpen)
                          return std::nullopt;
                      return std::chrono::milliseconds(10);
                  }});
    form.pumpEvents();  // the line's timer starts at the pump
    form.showMessage("RECORD DOWNLOAD COMPLETE !", "57 records appended.");
    EXPECT_GE(polls, 30) << "the box returned without the line polled in it";
    EXPECT_TRUE(form.quitRequested());
    EXPECT_EQ(form.openBoxes(), 0);
    // Once quitting, no box opens: it would hold the closing program.
    form.showMessage("Reading record stopped !");
    lineOpen = false;
}

// The open dialog of this thread, as the technician sees it.
HWND openDialog()
{
    HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM result) {
            if (classOf(window) == L"#32770" && ::IsWindowVisible(window))
                *reinterpret_cast<HWND*>(result) = window;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST_F(Form, thePortDialogOffersEveryPortTheOneInUseFirstAndGivesThePick)
{
    const std::vector<PortOffer> ports{{"COM1", "Communications Port (COM1)", "", false},
                                       {"COM3", "USB Serial Port (COM3), FTDI, serial A50285BI, USB 0403:6001", "", true},
                                       {"COM7", "USB Serial Port (COM7)", "", true}};
    struct Case {
        const char* name;
        int pick;  // the row chosen; -1: Cancel; -2: the program quits meanwhile
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"the third row", 2, "COM7"},
        {"the row offered first", 1, "COM3"},
        {"Cancel", -1, std::nullopt},
        {"quit", -2, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Win32Form1 window(::GetModuleHandleW(nullptr));
        window.show();
        static const Case* now;
        static Win32Form1* shown;
        static std::vector<std::wstring> rows;
        static int selected;
        now = &c;
        shown = &window;
        rows.clear();
        selected = -1;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
            const HWND dialog = openDialog();
            if (!dialog || !rows.empty())
                return;
            const HWND list = ::GetDlgItem(dialog, 201);
            for (int i = 0; i < ::SendMessageW(list, LB_GETCOUNT, 0, 0); ++i) {
                wchar_t row[256]{};
                ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(row));
                rows.push_back(row);
            }
            selected = static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0));
            if (now->pick == -2)
                return shown->requestQuit();
            if (now->pick >= 0)
                ::SendMessageW(list, LB_SETCURSEL, now->pick, 0);
            ::PostMessageW(dialog, WM_COMMAND, now->pick >= 0 ? IDOK : IDCANCEL, 0);
        });
        const auto picked = window.askForPort(ports, "COM3");
        ::KillTimer(nullptr, timer);
        EXPECT_EQ(picked, c.expected);
        EXPECT_EQ(rows, (std::vector<std::wstring>{L"COM1  Communications Port (COM1)",
                                                   L"COM3  USB Serial Port (COM3), FTDI, serial A50285BI, USB 0403:6001",
                                                   L"COM7  USB Serial Port (COM7)"}));
        EXPECT_EQ(selected, 1) << "the port in use is offered first";
        EXPECT_EQ(window.openBoxes(), 0);
    }
}

TEST_F(Form, closingCtrlQAndTheEndOfTheSessionEndEveryWait)
{
    struct Case {
        const char* name;
        UINT message;
        WPARAM wParam;
        bool viaKey;
        bool syncs;
    };
    const Case cases[] = {
        {"the close button", WM_CLOSE, 0, false, false},
        {"Ctrl+Q", 0, 0, true, false},
        {"log-off", WM_ENDSESSION, TRUE, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Win32Form1 window(::GetModuleHandleW(nullptr));
        window.show();
        bool synced = false;
        window.setSessionEnd([&] { synced = true; });
        if (c.viaKey) {
            // Ctrl held down, as the keyboard state shows it while Q comes.
            BYTE keys[256]{};
            ::GetKeyboardState(keys);
            keys[VK_CONTROL] = 0x80;
            ::SetKeyboardState(keys);
            ::PostMessageW(window.control(Win32Form1::kText1), WM_KEYDOWN, 'Q', 1);
        } else {
            ::PostMessageW(window.handle(), c.message, c.wParam, 0);
        }
        for (int i = 0; i < 20 && !window.quitRequested(); ++i)
            window.pumpEvents();
        if (c.viaKey) {
            BYTE keys[256]{};
            ::GetKeyboardState(keys);
            keys[VK_CONTROL] = 0;
            ::SetKeyboardState(keys);
        }
        EXPECT_TRUE(window.quitRequested());
        EXPECT_EQ(synced, c.syncs);
    }
}

TEST_F(Form, thePageKeepsCrLfAndWhatTheTechnicianTyped)
{
    form.setPageText("NO 00001: 2024-03-05 14:07   LOSS:0.02dB\r\nNO 00002: 2024-03-05 14:09   LOSS:0.13dB");
    EXPECT_EQ(form.pageText(), "NO 00001: 2024-03-05 14:07   LOSS:0.02dB\r\nNO 00002: 2024-03-05 14:09   LOSS:0.13dB");
    // A record added is appended to what the page shows.
    pump();
    form.setPageText("NO 00001: 2024-03-05 14:07   LOSS:0.02dB\r\nNO 00002: 2024-03-05 14:09   LOSS:0.13dB\r\nNO 00003: "
                     "2024-03-05 14:11   LOSS:0.04dB");
    pump();
    EXPECT_EQ(textOf(form.control(Win32Form1::kText1)),
              L"NO 00001: 2024-03-05 14:07   LOSS:0.02dB\r\nNO 00002: 2024-03-05 14:09   LOSS:0.13dB\r\nNO 00003: "
              L"2024-03-05 14:11   LOSS:0.04dB");
    ::SetWindowTextW(form.control(Win32Form1::kText1), L"joint 4\r\nMérés");
    EXPECT_EQ(form.pageText(), "joint 4\r\nM\xC3\xA9r\xC3\xA9s");
    form.showProgress(17, 57);
    pump();
    EXPECT_EQ(textOf(form.control(Win32Form1::kProgressBar)), L"17 / 57");
    EXPECT_EQ(::SendMessageW(form.control(Win32Form1::kProgressBar), PBM_GETPOS, 0, 0), 17);
}

}  // namespace
}  // namespace splicerec
