// Where the main window's controls go when its client area changes size. Pure arithmetic, so
// every front end places its controls alike and the rules are tested without a window.
#pragma once

#include <vector>

#include "app/Rect.h"

namespace qzx {

/// A control of the main window and its rectangle in client pixels.
struct ControlRect {
    int id = 0;
    Rect rect;
};

/// What a layout pass did.
struct LayoutResult {
    /// False when the window is minimised: nothing was moved and nothing else is to be done.
    bool applied = false;
    /// Width in pixels for the list's details column, never negative; meaningful when applied.
    int detailsColumnWidth = 0;
};

/// Index of the event list's details column ("详细"), the one that takes up the spare width.
constexpr int kDetailsColumn = 3;

/// Lays out the main window for a new client size of cx by cy pixels: rewrites in place the
/// rectangles of the controls it anchors to the right and bottom edges, leaving every other
/// control and every rectangle of an unknown ID as it was. kind is the size kind (kSizeMinimized
/// and the others of ControlIds.h); when minimised nothing changes. A width or height that would
/// come out negative becomes 0; a left or top may be negative. Controls may be missing.
LayoutResult ArrangeControls(int kind, int cx, int cy, std::vector<ControlRect>& controls);

}  // namespace qzx
