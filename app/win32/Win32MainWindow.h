// The main window of the Windows program: a dialog made from template 102 with the W calls. It
// implements the presenter's view and turns window messages into the presenter's handlers;
// every decision is the presenter's.
#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "app/DialogTemplate.h"
#include "app/MainWindowView.h"
#include "watch/EventRow.h"

namespace qzx {

class MainWindow;

class Win32MainWindow final : public MainWindowView {
  public:
    explicit Win32MainWindow(HINSTANCE instance);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    /// Shows the window modally and returns when it closes. The presenter must outlive the call.
    void Run(MainWindow& presenter);
    /// The window while it is open, else null.
    HWND Handle() const { return window; }

    void SetTitle(const std::string& title) override;
    void SetEnabled(int id, bool enabled) override;
    void SetText(int id, const std::string& text) override;
    std::string Text(int id) const override;
    bool IsChecked(int id) const override;
    void SetChecked(int id, bool checked) override;
    void SetToolTip(int id, const std::string& text) override;
    void SetTextColor(int id, Rgb color) override;
    void SetFont(int id, const FontSpec& font) override;
    void SetCursor(int id, CursorShape shape) override;
    void SetFocus(int id) override;
    void SetListColumns(const std::vector<std::string>& titles,
                        const std::vector<int>& widths) override;
    void SetListColumnWidth(int column, int width) override;
    void SyncList(const ListSync& sync) override;
    bool ControlRect(int id, Rect& rect) const override;
    void MoveControl(int id, const Rect& rect) override;
    void StartTimer(WindowTimer timer, int periodMs) override;
    void StopTimer(WindowTimer timer) override;
    void Wake() override;
    void ShowAboutBox(const std::string& logFolder) override;
    void Close() override;
    int ShowMenu(const std::vector<RowMenuItem>& items, ScreenPoint at) override;
    void CopyToClipboard(const std::string& text) override;
    std::optional<std::string> EditText(const std::string& title, const std::string& text,
                                        bool& check) override;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    /// True when the presenter placed the focus itself.
    bool OnInitDialog();
    void ShowCatchUpTick();
    bool OnNotify(const NMHDR& header, LRESULT& result);
    /// True when the menu was the list's.
    bool OnContextMenu(HWND under, LPARAM at);
    void FillCell(NMLVDISPINFOW& info);
    bool PaintMinimized();
    bool OnSetCursor(HWND under);
    HBRUSH OnColorStatic(HDC dc, HWND control, HBRUSH brush);
    void Destroy();

    HWND Item(int id) const;
    // The presenter measures in the template's pixels (kPixelsPerUnitNum/Den per dialog unit);
    // the window in the screen's pixels, whose size per dialog unit depends on the font and DPI.
    // Both are counted over kMeasuredUnits dialog units, which keeps the rounding small.
    static constexpr int kMeasuredUnits = 1000;
    static constexpr int kTemplatePixels = kMeasuredUnits * kPixelsPerUnitNum / kPixelsPerUnitDen;
    static_assert(kMeasuredUnits * kPixelsPerUnitNum % kPixelsPerUnitDen == 0);
    int ToScreenX(int x) const;
    int ToScreenY(int y) const;
    int FromScreenX(int x) const;
    int FromScreenY(int y) const;

    HINSTANCE instance;
    HWND window = nullptr;
    // The window as other threads see it for Wake: null before the dialog exists and after.
    std::atomic<HWND> wakeTarget{nullptr};
    HWND list = nullptr;
    HWND tips = nullptr;
    MainWindow* presenter = nullptr;
    bool focusPlaced = false;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    // The logo and the banner at this window's scale; the controls show them until the end.
    std::vector<HBITMAP> pictures;
    // Screen pixels per kMeasuredUnits dialog units, across and down.
    int unitsX = kTemplatePixels;
    int unitsY = kTemplatePixels;
    std::map<int, COLORREF> textColors;
    std::map<int, CursorShape> cursors;
    std::map<int, std::wstring> tipTexts;
    std::map<std::pair<std::wstring, int>, HFONT> fonts;
    // The row last asked for: the list asks once per cell, and four cells share one row.
    int cachedRow = -1;
    EventRow cached;
};

}  // namespace qzx
