#include "app/win32/Win32MainWindow.h"

#include <commctrl.h>

#include <algorithm>

#include "app/ControlIds.h"
#include "app/DialogTemplate.h"
#include "app/MainWindow.h"
#include "app/Texts.h"
#include "app/win32/IgnoreListDialog.h"
#include "app/win32/Pictures.h"
#include "base/WideText_win32.h"

namespace qzx {
namespace {

// Posted by Wake from the watcher's and the fetches' threads.
constexpr UINT kWakeMessage = WM_APP + 1;

int Scale(int value, int num, int den) { return MulDiv(value, num, den); }

void CopyText(const std::string& utf8, wchar_t* out, int capacity) {
    if (out == nullptr || capacity <= 0) return;
    const std::wstring wide = Widen(utf8);
    const std::size_t n =
        std::min<std::size_t>(wide.size(), static_cast<std::size_t>(capacity - 1));
    std::copy_n(wide.data(), n, out);
    out[n] = L'\0';
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            RECT units{0, 0, kAboutLogLineIndent, kAboutLogLineHeight};
            MapDialogRect(hwnd, &units);
            RECT client;
            GetClientRect(hwnd, &client);
            RECT frame;
            GetWindowRect(hwnd, &frame);
            SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left,
                         frame.bottom - frame.top + units.bottom,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            const std::wstring text =
                Widen(texts::kAboutLogFolder) + *reinterpret_cast<const std::wstring*>(lParam);
            const Rect r = AboutLogLineRect(client.right, client.bottom, units.right, units.bottom);
            HWND line = CreateWindowExW(0, L"STATIC", text.c_str(),
                                        WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_PATHELLIPSIS, r.x,
                                        r.y, r.width, r.height, hwnd, nullptr, nullptr, nullptr);
            SendMessageW(line, WM_SETFONT, SendMessageW(hwnd, WM_GETFONT, 0, 0), TRUE);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(hwnd, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

Win32MainWindow::Win32MainWindow(HINSTANCE inst) : instance(inst) {}

Win32MainWindow::~Win32MainWindow() { Destroy(); }

void Win32MainWindow::Run(MainWindow& p) {
    presenter = &p;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(kTemplateMain), nullptr, DialogProc,
                    reinterpret_cast<LPARAM>(this));
    presenter = nullptr;
}

void Win32MainWindow::Destroy() {
    for (auto& f : fonts) DeleteObject(f.second);
    fonts.clear();
    if (bigIcon) DestroyIcon(bigIcon);
    if (smallIcon) DestroyIcon(smallIcon);
    bigIcon = smallIcon = nullptr;
    for (HBITMAP picture : pictures) DeleteObject(picture);
    pictures.clear();
}

INT_PTR CALLBACK Win32MainWindow::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32MainWindow*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        self->window = hwnd;
        self->wakeTarget.store(hwnd);
        // FALSE keeps the dialog manager from moving the focus the presenter gave.
        return self->OnInitDialog() ? FALSE : TRUE;
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    // Messages before WM_INITDIALOG (the first WM_SIZE among them) find no controls yet.
    if (self == nullptr || self->presenter == nullptr) return FALSE;
    return self->OnMessage(message, wParam, lParam);
}

bool Win32MainWindow::OnInitDialog() {
    // Screen pixels per dialog unit, as the dialog manager placed the controls.
    RECT units{0, 0, kMeasuredUnits, kMeasuredUnits};
    MapDialogRect(window, &units);
    unitsX = std::max<int>(1, units.right);
    unitsY = std::max<int>(1, units.bottom);

    list = Item(kIdEventList);
    pictures = FitPictures(window, instance);

    if (HMENU menu = GetSystemMenu(window, FALSE)) {
        wchar_t text[128] = {};
        if (LoadStringW(instance, kStringAboutItem, text, 128) > 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, kCommandAbout, text);
        }
        AppendMenuW(menu, MF_STRING, kCommandCatchUp, Widen(texts::kCatchUpItem).c_str());
    }

    bigIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconWindow), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconWindow), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));

    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_TWOCLICKACTIVATE | LVS_EX_FLATSB |
                     LVS_EX_DOUBLEBUFFER);

    tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                           nullptr, instance, nullptr);
    // Long status explanations wrap instead of running off the screen.
    SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, 400);

    RECT client;
    GetClientRect(window, &client);
    focusPlaced = false;
    presenter->OnInit(FromScreenX(client.right), FromScreenY(client.bottom));
    // The remembered tick is known once the presenter has read the settings.
    ShowCatchUpTick();
    return focusPlaced;
}

void Win32MainWindow::ShowCatchUpTick() {
    if (HMENU menu = GetSystemMenu(window, FALSE)) {
        CheckMenuItem(menu, kCommandCatchUp,
                      MF_BYCOMMAND | (presenter->CatchUpChecked() ? MF_CHECKED : MF_UNCHECKED));
    }
}

INT_PTR Win32MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDCANCEL) {
                // The exit button, Escape and the close box, in every state.
                EndDialog(window, IDCANCEL);
                return TRUE;
            }
            // Buttons report BN_CLICKED and the two clickable pictures STN_CLICKED, both 0;
            // the path box's notifications are not commands.
            if (HIWORD(wParam) == BN_CLICKED) presenter->OnCommand(id);
            return TRUE;
        }
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (!OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) return FALSE;
            SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return TRUE;
        }
        case WM_CONTEXTMENU:
            return OnContextMenu(reinterpret_cast<HWND>(wParam), lParam) ? TRUE : FALSE;
        case WM_TIMER:
            presenter->OnTimer(static_cast<WindowTimer>(wParam));
            return TRUE;
        case kWakeMessage:
            presenter->OnWake();
            return TRUE;
        case WM_SIZE:
            presenter->OnSize(static_cast<int>(wParam), FromScreenX(LOWORD(lParam)),
                              FromScreenY(HIWORD(lParam)));
            // Controls that moved into the area a maximise uncovered are not always painted
            // again by the move alone (seen under Wine): the whole window repaints once.
            if (wParam != SIZE_MINIMIZED) {
                RedrawWindow(window, nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            }
            return TRUE;
        case WM_GETMINMAXINFO: {
            // The template's size is the smallest the layout was drawn for: in this DPI's pixels,
            // as the dialog units are, with the frame the window's own style gives it.
            const DialogTemplate& t = MainWindowTemplate();
            RECT r{0, 0, t.width, t.height};
            MapDialogRect(window, &r);
            AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                               static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {r.right - r.left,
                                                                     r.bottom - r.top};
            return TRUE;
        }
        case WM_SHOWWINDOW:
            presenter->OnVisibilityChanged(wParam != FALSE);
            return FALSE;
        case WM_SYSCOMMAND:
            if (!presenter->OnSystemCommand(SystemMenuItem(static_cast<int>(wParam)))) return FALSE;
            if (SystemMenuItem(static_cast<int>(wParam)) == kCommandCatchUp) ShowCatchUpTick();
            SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
            return TRUE;
        case WM_SETCURSOR:
            if (!OnSetCursor(reinterpret_cast<HWND>(wParam))) return FALSE;
            SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            auto* brush = reinterpret_cast<HBRUSH>(DefWindowProcW(window, message, wParam, lParam));
            return reinterpret_cast<INT_PTR>(OnColorStatic(reinterpret_cast<HDC>(wParam),
                                                           reinterpret_cast<HWND>(lParam), brush));
        }
        case WM_PAINT:
            return PaintMinimized() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(bigIcon);
        case WM_DESTROY:
            for (WindowTimer t : {WindowTimer::Ticker, WindowTimer::Update, WindowTimer::Poll}) {
                KillTimer(window, static_cast<UINT_PTR>(t));
            }
            wakeTarget.store(nullptr);
            window = nullptr;
            list = nullptr;
            tips = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

bool Win32MainWindow::OnNotify(const NMHDR& header, LRESULT& result) {
    if (static_cast<int>(header.idFrom) != kIdEventList) return false;
    switch (header.code) {
        case LVN_GETDISPINFOW:
            FillCell(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
            return true;
        case NM_DBLCLK:
            presenter->OnRowActivated(reinterpret_cast<const NMITEMACTIVATE&>(header).iItem);
            return true;
        case LVN_ODFINDITEMW:
            // Typing a row's first letters finds nothing: the rows are not sorted by any text.
            result = -1;
            return true;
        default:
            return false;
    }
}

bool Win32MainWindow::OnContextMenu(HWND under, LPARAM at) {
    if (!list || under != list) return false;
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    int row = -1;
    if (point.x == -1 && point.y == -1) {
        // The menu key or Shift+F10: the selected row, the menu at its first cell.
        row = static_cast<int>(
            SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        RECT cell{LVIR_LABEL, 0, 0, 0};
        point = {0, 0};
        if (row >= 0 && SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                                     reinterpret_cast<LPARAM>(&cell))) {
            point = {cell.left, cell.bottom};
        }
        ClientToScreen(list, &point);
    } else {
        LVHITTESTINFO hit{};
        hit.pt = point;
        ScreenToClient(list, &hit.pt);
        row = static_cast<int>(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if ((hit.flags & LVHT_ONITEM) == 0) row = -1;
    }
    presenter->OnRowMenu(row, {point.x, point.y});
    return true;
}

void Win32MainWindow::FillCell(NMLVDISPINFOW& info) {
    if ((info.item.mask & LVIF_TEXT) == 0) return;
    const int row = info.item.iItem;
    if (row != cachedRow) {
        cachedRow = presenter->RowAtView(row, cached) ? row : -1;
    }
    if (cachedRow != row) {
        CopyText({}, info.item.pszText, info.item.cchTextMax);
        return;
    }
    CopyText(ColumnText(cached, info.item.iSubItem), info.item.pszText, info.item.cchTextMax);
}

bool Win32MainWindow::PaintMinimized() {
    if (!IsIconic(window)) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window, &client);
    const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, bigIcon);
    EndPaint(window, &ps);
    return true;
}

bool Win32MainWindow::OnSetCursor(HWND under) {
    const auto it = cursors.find(GetDlgCtrlID(under));
    const bool hand = under != window && it != cursors.end() && it->second == CursorShape::Hand;
    ::SetCursor(LoadCursorW(nullptr, hand ? IDC_HAND : IDC_ARROW));
    return true;
}

HBRUSH Win32MainWindow::OnColorStatic(HDC dc, HWND control, HBRUSH brush) {
    const auto it = textColors.find(GetDlgCtrlID(control));
    if (it != textColors.end()) ::SetTextColor(dc, it->second);
    return brush;
}

HWND Win32MainWindow::Item(int id) const {
    return window != nullptr ? GetDlgItem(window, id) : nullptr;
}

int Win32MainWindow::ToScreenX(int x) const { return Scale(x, unitsX, kTemplatePixels); }
int Win32MainWindow::ToScreenY(int y) const { return Scale(y, unitsY, kTemplatePixels); }
int Win32MainWindow::FromScreenX(int x) const { return Scale(x, kTemplatePixels, unitsX); }
int Win32MainWindow::FromScreenY(int y) const { return Scale(y, kTemplatePixels, unitsY); }

void Win32MainWindow::SetTitle(const std::string& title) {
    if (window) SetWindowTextW(window, Widen(title).c_str());
}

void Win32MainWindow::SetEnabled(int id, bool enabled) {
    HWND control = Item(id);
    if (!control) return;
    // A control that loses its enabled state while it holds the focus would leave the keyboard
    // nowhere; the focus moves on to the next control first.
    if (!enabled && GetFocus() == control) SendMessageW(window, WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(control, enabled ? TRUE : FALSE);
}

void Win32MainWindow::SetText(int id, const std::string& text) {
    if (HWND control = Item(id)) SetWindowTextW(control, Widen(text).c_str());
}

std::string Win32MainWindow::Text(int id) const {
    HWND control = Item(id);
    if (!control) return {};
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    const int n = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(0, n)));
    return Narrow(text);
}

bool Win32MainWindow::IsChecked(int id) const {
    return window && IsDlgButtonChecked(window, id) == BST_CHECKED;
}

void Win32MainWindow::SetChecked(int id, bool checked) {
    if (window) CheckDlgButton(window, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Win32MainWindow::SetToolTip(int id, const std::string& text) {
    HWND control = Item(id);
    if (!control || !tips) return;
    // Labels let the mouse through to the window, so the tip is a rectangle of the window.
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window;
    tool.uId = static_cast<UINT_PTR>(id);
    if (tipTexts.count(id)) {
        SendMessageW(tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        tipTexts.erase(id);
    }
    if (text.empty()) return;
    std::wstring& stored = tipTexts[id] = Widen(text);
    tool.uFlags = TTF_SUBCLASS;
    tool.lpszText = stored.data();
    GetWindowRect(control, &tool.rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&tool.rect), 2);
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32MainWindow::SetTextColor(int id, Rgb color) {
    textColors[id] = RGB(color.r, color.g, color.b);
    if (HWND control = Item(id)) InvalidateRect(control, nullptr, TRUE);
}

void Win32MainWindow::SetFont(int id, const FontSpec& wanted) {
    HWND control = Item(id);
    if (!control || wanted.faces.empty()) return;
    const std::wstring face = Widen(wanted.faces.front());
    HFONT& font = fonts[{face, wanted.tenthsOfPoint}];
    if (!font) {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        LOGFONTW lf{};
        // Negative: the character height without the leading, as a point size means it.
        lf.lfHeight = -MulDiv(wanted.tenthsOfPoint, dpi, 720);
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
        font = CreateFontIndirectW(&lf);
    }
    if (font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void Win32MainWindow::SetCursor(int id, CursorShape shape) { cursors[id] = shape; }

void Win32MainWindow::SetFocus(int id) {
    HWND control = Item(id);
    if (!control) return;
    // Through the dialog manager, so that the default button follows the focus.
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    focusPlaced = true;
}

void Win32MainWindow::SetListColumns(const std::vector<std::string>& titles,
                                     const std::vector<int>& widths) {
    if (!list) return;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        std::wstring title = Widen(titles[i]);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.pszText = title.data();
        column.cx = ToScreenX(i < widths.size() ? widths[i] : 0);
        column.iSubItem = static_cast<int>(i);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void Win32MainWindow::SetListColumnWidth(int column, int width) {
    // The width travels in the low 16 bits of lParam; the presenter never passes a negative one.
    if (list) SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(ToScreenX(width), 0));
}

void Win32MainWindow::SyncList(const ListSync& sync) {
    if (!list) return;
    cachedRow = -1;
    if (sync.reset) {
        LVITEMW none{};
        none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(&none));
        SendMessageW(list, LVM_SETITEMCOUNT, sync.rowCount, 0);
        return;
    }
    if (sync.inserted <= 0) return;
    // New rows go in at the top and push every row down by as many; the selection and, when
    // the user has scrolled away from the top, the rows in sight move with them.
    const int selected = static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    const int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    SendMessageW(list, LVM_SETITEMCOUNT, sync.rowCount, LVSICF_NOSCROLL);
    if (selected >= 0) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(selected),
                     reinterpret_cast<LPARAM>(&state));
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(selected + sync.inserted),
                     reinterpret_cast<LPARAM>(&state));
    }
    if (top > 0) {
        RECT item{LVIR_BOUNDS, 0, 0, 0};
        if (SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item))) {
            SendMessageW(list, LVM_SCROLL, 0, sync.inserted * (item.bottom - item.top));
        }
    }
}

bool Win32MainWindow::ControlRect(int id, Rect& rect) const {
    HWND control = Item(id);
    if (!control) return false;
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    rect = {FromScreenX(r.left), FromScreenY(r.top), FromScreenX(r.right - r.left),
            FromScreenY(r.bottom - r.top)};
    return true;
}

void Win32MainWindow::MoveControl(int id, const Rect& rect) {
    HWND control = Item(id);
    if (!control) return;
    MoveWindow(control, ToScreenX(rect.x), ToScreenY(rect.y), ToScreenX(rect.width),
               ToScreenY(rect.height), TRUE);
    const auto tip = tipTexts.find(id);
    if (tip != tipTexts.end()) SetToolTip(id, Narrow(tip->second));
}

void Win32MainWindow::StartTimer(WindowTimer timer, int periodMs) {
    if (window)
        SetTimer(window, static_cast<UINT_PTR>(timer), static_cast<UINT>(periodMs), nullptr);
}

void Win32MainWindow::StopTimer(WindowTimer timer) {
    if (window) KillTimer(window, static_cast<UINT_PTR>(timer));
}

void Win32MainWindow::Wake() {
    // A window already gone takes no message, which is all a late wake-up deserves.
    if (HWND target = wakeTarget.load()) PostMessageW(target, kWakeMessage, 0, 0);
}

void Win32MainWindow::ShowAboutBox(const std::string& logFolder) {
    std::wstring folder = Widen(logFolder);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(kTemplateAbout), window, AboutProc,
                    reinterpret_cast<LPARAM>(&folder));
}

void Win32MainWindow::Close() {
    if (window) EndDialog(window, IDCANCEL);
}

int Win32MainWindow::ShowMenu(const std::vector<RowMenuItem>& items, ScreenPoint at) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].command == RowMenuCommand::kSeparator) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        // A "&" of an extension is shown, not taken for an access key.
        std::wstring caption;
        for (wchar_t c : Widen(items[i].text)) {
            if (c == L'&') caption += L'&';
            caption += c;
        }
        // Command 0 means no choice, so the items count from 1.
        AppendMenuW(menu, MF_STRING, i + 1, caption.c_str());
    }
    const int chosen = static_cast<int>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x,
                       at.y, 0, window, nullptr));
    DestroyMenu(menu);
    return chosen - 1;
}

void Win32MainWindow::CopyToClipboard(const std::string& text) {
    const std::wstring wide = Widen(text);
    if (!window || !OpenClipboard(window)) return;
    EmptyClipboard();
    const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* p = GlobalLock(memory)) {
            std::copy_n(wide.c_str(), wide.size() + 1, static_cast<wchar_t*>(p));
            GlobalUnlock(memory);
            // The clipboard owns the memory once it takes it, and only then.
            if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

std::optional<std::string> Win32MainWindow::EditText(const std::string& title,
                                                     const std::string& text, bool& check) {
    return RunIgnoreListDialog(instance, window, title, text, check);
}

}  // namespace qzx
