// What the main window's presenter needs of a toolkit: controls addressed by the numbers of
// ControlIds.h, the list's row count, timers, cursors and the About box. Each front end
// implements it with its own widgets; tests implement it with plain members.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Rect.h"
#include "app/RowMenu.h"
#include "online/NewsTicker.h"

namespace qzx {

/// A font by name and size. faces holds the face to use first and then stand-ins for systems
/// that lack it (a Windows shell uses faces[0]; others take the first one installed).
struct FontSpec {
    std::vector<std::string> faces;
    /// Size in tenths of a point: 92 for 9.2 points.
    int tenthsOfPoint = 90;
};

/// Mouse pointer shapes the window asks for.
enum class CursorShape { Arrow, Hand };

/// The presenter's timers. Each runs until stopped; a front end delivers a tick by calling
/// MainWindow::OnTimer with the same value.
enum class WindowTimer {
    Ticker = 1,  ///< Advances the ticker and ends the duplicate window.
    Update = 2,  ///< Fires once: the update check.
    Poll = 3,    ///< Takes in new rows and reports of the watcher and of the background jobs.
};

/// Where a context menu was asked for, in the shell's own screen coordinates: the presenter
/// only hands it back to ShowMenu.
struct ScreenPoint {
    int x = 0;
    int y = 0;
};

/// What changed in the list since the view last heard of it.
struct ListSync {
    /// Number of rows the list now shows (newest at view row 0).
    int rowCount = 0;
    /// True when every row the view showed is gone (a clear): drop them all and show rowCount
    /// rows anew. False when rows were only added.
    bool reset = false;
    /// With reset false: how many new rows went in at the top (view rows 0 .. inserted - 1). The
    /// view takes them in one insert; when it is scrolled away from the top it keeps the rows in
    /// sight where they are rather than repainting.
    int inserted = 0;
};

/// The main window as the presenter sees it. Every function is called on the GUI thread only;
/// texts are UTF-8. An ID the window does not have is ignored (getters then return empty/false).
class MainWindowView {
  public:
    virtual ~MainWindowView() = default;

    /// The window title.
    virtual void SetTitle(const std::string& title) = 0;
    /// Enables or disables a control.
    virtual void SetEnabled(int id, bool enabled) = 0;
    /// Sets a control's text: the caption of a label, the content of the path box. Always shown
    /// as plain text, never as markup, whatever it holds.
    virtual void SetText(int id, const std::string& text) = 0;
    /// The text of a control as it stands on screen (the path box as typed).
    virtual std::string Text(int id) const = 0;
    /// The state of a check box.
    virtual bool IsChecked(int id) const = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    /// A control's tooltip, plain text; empty removes it.
    virtual void SetToolTip(int id, const std::string& text) = 0;
    /// The colour a label's text is drawn in (the ticker's colour).
    virtual void SetTextColor(int id, Rgb color) = 0;
    /// The font of one control.
    virtual void SetFont(int id, const FontSpec& font) = 0;
    /// The pointer shown while the mouse is over the control.
    virtual void SetCursor(int id, CursorShape shape) = 0;
    /// Gives a control the keyboard focus.
    virtual void SetFocus(int id) = 0;

    /// The event list's column titles and widths in pixels, set up once.
    virtual void SetListColumns(const std::vector<std::string>& titles,
                                const std::vector<int>& widths) = 0;
    /// Width of one list column in pixels.
    virtual void SetListColumnWidth(int column, int width) = 0;
    /// Adds list column kProcessColumn with this title and width after the others (shown true),
    /// or takes it away again; the other columns stay as they are. Called only when it changes.
    /// A front end none of whose engines knows processes may leave it undone.
    virtual void ShowProcessColumn(bool shown, const std::string& title, int width) {
        (void)shown;
        (void)title;
        (void)width;
    }
    /// The list now holds sync.rowCount rows; the view reads their texts through
    /// MainWindow::CellText. Called at most once per poll tick, never while the window is
    /// minimised or hidden.
    virtual void SyncList(const ListSync& sync) = 0;

    /// The rectangle of a control in client pixels; false when the window has no such control.
    virtual bool ControlRect(int id, Rect& rect) const = 0;
    /// Moves a control to a rectangle in client pixels, repainting it.
    virtual void MoveControl(int id, const Rect& rect) = 0;

    /// Starts (or restarts) a timer with the given period.
    virtual void StartTimer(WindowTimer timer, int periodMs) = 0;
    /// Stops a timer; a stopped timer delivers no further tick.
    virtual void StopTimer(WindowTimer timer) = 0;

    /// Any thread: has the GUI thread call the presenter's OnWake soon (post an event or a
    /// message); returns at once. Never called once the presenter is being destroyed.
    virtual void Wake() = 0;

    /// Shows the About box (template 100) modally; logFolder names the folder of the daily log.
    virtual void ShowAboutBox(const std::string& logFolder) = 0;
    /// Closes the window, as the exit button does.
    virtual void Close() = 0;

    /// The list's context menu at a point, modal: items in order (a separator as a line); the
    /// index in items of the one chosen, or -1 when the menu was closed without a choice.
    virtual int ShowMenu(const std::vector<RowMenuItem>& items, ScreenPoint at) = 0;
    /// Puts the text on the clipboard, as Unicode text.
    virtual void CopyToClipboard(const std::string& text) = 0;
    /// The ignore list's dialog (IgnoreListTemplate), modal, titled title and holding text (lines
    /// joined by "\n") and the check of its box: the text as edited after OK, with check as the
    /// box was left; nothing after Cancel, check untouched.
    virtual std::optional<std::string> EditText(const std::string& title, const std::string& text,
                                                bool& check) = 0;
};

}  // namespace qzx
