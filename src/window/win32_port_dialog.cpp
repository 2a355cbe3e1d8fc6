#include "window/win32_port_dialog.h"

#include <algorithm>

namespace splicerec {
namespace {

std::wstring wide(const std::string& utf8)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

struct Pick {
    const std::vector<PortOffer>& ports;
    const std::string& current;
    int chosen = -1;
};

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* pick = reinterpret_cast<Pick*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    const HWND list = ::GetDlgItem(dialog, SPLICE_PORT_LIST);
    switch (message) {
    case WM_INITDIALOG: {
        pick = reinterpret_cast<Pick*>(lParam);
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        int selected = 0;
        LONG widest = 0;
        const HDC dc = ::GetDC(list);
        const HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)));
        for (std::size_t i = 0; i < pick->ports.size(); ++i) {
            const auto& port = pick->ports[i];
            std::wstring text = wide(port.path);
            if (!port.description.empty())
                text += L"  " + wide(port.description);
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            if (port.path == pick->current)
                selected = static_cast<int>(i);
            SIZE size{};
            ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
            widest = std::max(widest, size.cx);
        }
        ::SelectObject(dc, oldFont);
        ::ReleaseDC(list, dc);
        // A long description scrolls instead of being cut off.
        ::SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
        ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
        ::EnableWindow(::GetDlgItem(dialog, IDOK), !pick->ports.empty());
        ::SetFocus(list);
        return FALSE;  // the focus is set
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case SPLICE_PORT_LIST:
            if (HIWORD(wParam) != LBN_DBLCLK)
                return FALSE;
            [[fallthrough]];
        case IDOK: {
            const auto chosen = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
            if (chosen == LB_ERR)
                return TRUE;
            pick->chosen = static_cast<int>(chosen);
            ::EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL: ::EndDialog(dialog, IDCANCEL); return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace

std::optional<std::string> runPortDialog(HINSTANCE instance, HWND owner, const std::vector<PortOffer>& ports,
                                         const std::string& current)
{
    Pick pick{ports, current};
    const INT_PTR result = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(SPLICE_PORT_DIALOG), owner, dialogProc,
                                             reinterpret_cast<LPARAM>(&pick));
    if (result != IDOK || pick.chosen < 0 || static_cast<std::size_t>(pick.chosen) >= ports.size())
        return std::nullopt;
    return ports[static_cast<std::size_t>(pick.chosen)].path;
}

}  // namespace splicerec
