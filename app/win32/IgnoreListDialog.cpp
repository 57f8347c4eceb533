#include "app/win32/IgnoreListDialog.h"

#include "app/ControlIds.h"
#include "base/WideText_win32.h"

namespace qzx {
namespace {

void PutDword(std::vector<WORD>& out, DWORD value) {
    out.push_back(LOWORD(value));
    out.push_back(HIWORD(value));
}

void PutText(std::vector<WORD>& out, const std::string& utf8) {
    for (wchar_t c : Widen(utf8)) out.push_back(static_cast<WORD>(c));
    out.push_back(0);
}

void PutRect(std::vector<WORD>& out, const Rect& r) {
    for (int v : {r.x, r.y, r.width, r.height}) out.push_back(static_cast<WORD>(v));
}

// The predefined window classes a template names by ordinal.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

DWORD WindowStyleOf(const TemplateControl& c, WORD& windowClass) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (c.styles & kStyleTabStop) style |= WS_TABSTOP;
    if (c.styles & kStyleGroup) style |= WS_GROUP;
    if (c.styles & kStyleBorder) style |= WS_BORDER;
    switch (c.kind) {
        case ControlKind::Edit:
            windowClass = kEditClass;
            style |= ES_LEFT;
            if (c.styles & kStyleAutoHScroll) style |= ES_AUTOHSCROLL;
            if (c.styles & kStyleMultiline) {
                style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL | WS_HSCROLL;
            }
            break;
        case ControlKind::PushButton:
            windowClass = kButtonClass;
            style |= BS_PUSHBUTTON;
            break;
        case ControlKind::DefaultPushButton:
            windowClass = kButtonClass;
            style |= BS_DEFPUSHBUTTON;
            break;
        case ControlKind::CheckBox:
            windowClass = kButtonClass;
            style |= BS_AUTOCHECKBOX;
            break;
        case ControlKind::Label:
        case ControlKind::Picture:
        case ControlKind::ListView:
            // Only what the in-memory dialogs hold; a picture or a list would need a resource
            // or a class name.
            windowClass = kStaticClass;
            style |= SS_LEFT;
            if (c.styles & kStyleNotify) style |= SS_NOTIFY;
            if (c.styles & kStyleNoPrefix) style |= SS_NOPREFIX;
            break;
    }
    return style;
}

// The edit box shows CR LF as a line break and nothing else.
std::wstring WithCrLf(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\n') out += L'\r';
        if (c != L'\r') out += c;
    }
    return out;
}

std::wstring WithLf(const std::wstring& text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
        out += text[i];
    }
    return out;
}

struct DialogState {
    std::wstring title;
    std::wstring text;
    bool check = false;
};

INT_PTR CALLBACK IgnoreListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            auto* state = reinterpret_cast<DialogState*>(lParam);
            SetWindowTextW(hwnd, state->title.c_str());
            HWND edit = GetDlgItem(hwnd, kIdIgnoreText);
            SetWindowTextW(edit, WithCrLf(state->text).c_str());
            CheckDlgButton(hwnd, kIdFollowTreeFiles, state->check ? BST_CHECKED : BST_UNCHECKED);
            // The caret at the end, nothing selected: the first key a user types must not
            // replace the whole list.
            SetFocus(edit);
            const LPARAM end = GetWindowTextLengthW(edit);
            SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
            return FALSE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == kIdOk) {
                auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(hwnd, DWLP_USER));
                HWND edit = GetDlgItem(hwnd, kIdIgnoreText);
                std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
                const int n = GetWindowTextW(edit, text.data(), static_cast<int>(text.size()));
                text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
                state->text = WithLf(text);
                state->check = IsDlgButtonChecked(hwnd, kIdFollowTreeFiles) == BST_CHECKED;
                EndDialog(hwnd, IDOK);
                return TRUE;
            }
            if (id == kIdCancel) {
                EndDialog(hwnd, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        }
        case WM_CLOSE:
            EndDialog(hwnd, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

std::vector<WORD> DialogTemplateBytes(const DialogTemplate& d) {
    std::vector<WORD> out;
    out.push_back(1);       // version
    out.push_back(0xFFFF);  // the extended form
    PutDword(out, 0);       // help ID
    PutDword(out, 0);       // extended style
    PutDword(out, DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    out.push_back(static_cast<WORD>(d.controls.size()));
    PutRect(out, {0, 0, d.width, d.height});
    out.push_back(0);  // no menu
    out.push_back(0);  // the dialog class
    PutText(out, d.caption);
    out.push_back(static_cast<WORD>(d.fontPoints));
    out.push_back(FW_NORMAL);
    // Italic, then the character set: GB2312, as the resource script's dialogs say.
    out.push_back(static_cast<WORD>(GB2312_CHARSET << 8));
    PutText(out, d.fontFace);
    for (const TemplateControl& c : d.controls) {
        if (out.size() % 2 != 0) out.push_back(0);
        WORD windowClass = kStaticClass;
        const DWORD style = WindowStyleOf(c, windowClass);
        PutDword(out, 0);  // help ID
        PutDword(out, 0);  // extended style
        PutDword(out, style);
        PutRect(out, c.units);
        PutDword(out, static_cast<DWORD>(c.id));
        out.push_back(0xFFFF);
        out.push_back(windowClass);
        PutText(out, c.caption);
        out.push_back(0);  // no creation data
    }
    return out;
}

std::optional<std::string> RunIgnoreListDialog(HINSTANCE instance, HWND owner,
                                               const std::string& title, const std::string& text,
                                               bool& check) {
    const std::vector<WORD> bytes = DialogTemplateBytes(IgnoreListTemplate());
    DialogState state{Widen(title), Widen(text), check};
    const INT_PTR result =
        DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner,
                                IgnoreListProc, reinterpret_cast<LPARAM>(&state));
    if (result != IDOK) return std::nullopt;
    check = state.check;
    return Narrow(state.text);
}

}  // namespace qzx
