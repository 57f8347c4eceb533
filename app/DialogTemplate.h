// The two dialog templates as data: the main window and the About box, with their controls in
// tab order, their captions in UTF-8 and their rectangles in dialog units. A front end builds its
// widgets from these tables and never repeats a caption or a position of its own.
#pragma once

#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "app/Rect.h"
#include "app/WindowLayout.h"

namespace qzx {

/// What a template control is drawn as.
enum class ControlKind {
    Edit,               // one-line text box
    PushButton,         // button
    DefaultPushButton,  // the button that Enter presses
    CheckBox,           // automatic check box
    Label,              // left-aligned static text
    ListView,           // list in report view
    Picture,            // static showing the icon or bitmap named by `image`
};

/// Style bits of a template control beyond "child" and "visible".
enum ControlStyle : unsigned {
    kStyleTabStop = 1u << 0,
    kStyleGroup = 1u << 1,   // starts a group for the arrow keys
    kStyleNotify = 1u << 2,  // a static that reports clicks
    kStyleBorder = 1u << 3,
    kStyleAutoHScroll = 1u << 4,
    kStyleNoPrefix = 1u << 5,   // '&' is shown as it is, not as an access key
    kStyleMultiline = 1u << 6,  // an edit box of many lines, Enter starting a new one
};

/// One control of a dialog template.
struct TemplateControl {
    int id = kIdStatic;
    ControlKind kind = ControlKind::Label;
    /// UTF-8; empty when the control has no caption.
    std::string caption;
    /// Position and size in dialog units.
    Rect units;
    /// ControlStyle bits.
    unsigned styles = 0;
    /// Icon or bitmap resource number for a Picture, 0 otherwise.
    int image = 0;
};

/// A dialog: its client size in dialog units, caption, font and controls in tab order.
struct DialogTemplate {
    int id = 0;
    /// UTF-8 window title.
    std::string caption;
    int width = 0;
    int height = 0;
    /// UTF-8 face name and size in points of the dialog font.
    std::string fontFace;
    int fontPoints = 0;
    std::vector<TemplateControl> controls;
};

/// Template 102, the main window: titled "翠鸮文件之哨 Ver1.2 - " and the maker's address.
const DialogTemplate& MainWindowTemplate();
/// Template 100, the About box.
const DialogTemplate& AboutBoxTemplate();
/// The ignore list's dialog: the hint, the text box of patterns (kIdIgnoreText), OK and Cancel.
const DialogTemplate& IgnoreListTemplate();
/// String 101, the system menu's About item, with '&' before its access key.
const char* AboutItemText();

/// The line the About box adds below its template texts, naming the daily log's folder
/// (texts::kAboutLogFolder and the folder): the box grows by its height, and it is indented as
/// far as the icon on either side. In the template's dialog units.
inline constexpr int kAboutLogLineIndent = 11;
inline constexpr int kAboutLogLineHeight = 12;
/// Where that line goes, in a shell's own pixels: boxWidth and boxHeight are the template box's
/// client size, indent and height the line's dialog units as the shell converts them. The line
/// rises a quarter of its height into the template's bottom margin.
Rect AboutLogLineRect(int boxWidth, int boxHeight, int indent, int height);

/// Pixels per dialog unit, as numerator and denominator: 1.5 both across and down.
constexpr int kPixelsPerUnitNum = 3;
constexpr int kPixelsPerUnitDen = 2;

/// A length or coordinate in dialog units as pixels, halves rounded away from zero.
int DialogUnitsToPixels(int units);
/// A template rectangle in pixels. Each of the four numbers is converted on its own, so
/// controls of one size in the template stay of one size on the screen.
Rect TemplateRectToPixels(const Rect& units);
/// The controls of a template at their template places in pixels, in tab order, ready for
/// ArrangeControls. Controls without an ID (kIdStatic) are included too.
std::vector<ControlRect> TemplateControlRects(const DialogTemplate& dialog);

}  // namespace qzx
