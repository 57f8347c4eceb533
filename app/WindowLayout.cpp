// The anchoring rules of the main window, kept as a table so that they read like the window's
// design: a right column 75 pixels from the right edge, a second column 78 pixels further left,
// the list and the path box stretching, the ticker line hugging the bottom edge.
#include "app/WindowLayout.h"

#include <algorithm>

#include "app/ControlIds.h"

namespace qzx {

namespace {

enum class Term {
    Kept,        // the control's current value
    Fixed,       // amount
    FromRight,   // cx - amount
    FromBottom,  // cy - amount
    ToRight,     // a size that ends amount pixels before the right edge
    ToBottom,    // a size that ends amount pixels above the bottom edge
};

struct Value {
    Term term;
    int amount;
};

struct Rule {
    int id;
    Value left;
    Value top;
    Value width;
    Value height;
};

constexpr Value kKept{Term::Kept, 0};
constexpr Value kRightColumn{Term::FromRight, 75};
constexpr Value kSecondColumn{Term::FromRight, 153};
constexpr Value kColumnWidth{Term::Fixed, 65};
constexpr Value kBottomButtonHeight{Term::Fixed, 27};

// In the order of the window's design; no rule reads another control, so order is free.
constexpr Rule kRules[] = {
    {kIdStart, kRightColumn, kKept, kColumnWidth, kKept},
    {kIdStop, kRightColumn, kKept, kColumnWidth, kKept},
    {kIdExport, kRightColumn, kKept, kColumnWidth, kKept},
    {kIdClear, kRightColumn, kKept, kColumnWidth, kKept},
    {kIdOptRecordLog, kRightColumn, kKept, kColumnWidth, kKept},
    {kIdStatus, kSecondColumn, kKept, kColumnWidth, kKept},
    {kIdAbout, kRightColumn, {Term::FromBottom, 90}, kColumnWidth, kBottomButtonHeight},
    {kIdExit, kRightColumn, {Term::FromBottom, 47}, kColumnWidth, kBottomButtonHeight},
    {kIdTicker, kKept, {Term::FromBottom, 18}, kKept, {Term::Fixed, 15}},
    {kIdTickerLabel, kKept, {Term::FromBottom, 16}, kKept, {Term::Fixed, 13}},
    {kIdBrowse, kSecondColumn, kKept, kColumnWidth, kKept},
    {kIdFolderPath, kKept, kKept, {Term::ToRight, 165}, kKept},
    {kIdEventList, kKept, kKept, {Term::ToRight, 90}, {Term::ToBottom, 20}},
};

// What the list's margins, its border and its other three columns (40 + 60 + 40) take from cx.
constexpr int kDetailsColumnMargin = 245;

// start is the control's new left (for a width) or new top (for a height); extent is cx or cy.
int Evaluate(Value v, int current, int extent, int start) {
    switch (v.term) {
        case Term::Kept:
            return current;
        case Term::Fixed:
            return v.amount;
        case Term::FromRight:
        case Term::FromBottom:
            return extent - v.amount;
        case Term::ToRight:
        case Term::ToBottom:
            return extent - v.amount - start;
    }
    return current;
}

Rect Apply(const Rule& rule, const Rect& r, int cx, int cy) {
    Rect out;
    out.x = Evaluate(rule.left, r.x, cx, 0);
    out.y = Evaluate(rule.top, r.y, cy, 0);
    // A window smaller than the design would give negative sizes, which no toolkit accepts
    // alike; an empty control is the honest rendering of "no room left".
    out.width = std::max(0, Evaluate(rule.width, r.width, cx, out.x));
    out.height = std::max(0, Evaluate(rule.height, r.height, cy, out.y));
    return out;
}

}  // namespace

LayoutResult ArrangeControls(int kind, int cx, int cy, std::vector<ControlRect>& controls) {
    LayoutResult result;
    if (kind == kSizeMinimized) return result;
    for (const Rule& rule : kRules) {
        for (ControlRect& c : controls) {
            if (c.id == rule.id) c.rect = Apply(rule, c.rect, cx, cy);
        }
    }
    result.applied = true;
    // The list takes the width from the low 16 bits of a message parameter; a negative value
    // would turn into a column tens of thousands of pixels wide.
    result.detailsColumnWidth = std::max(0, cx - kDetailsColumnMargin);
    return result;
}

}  // namespace qzx
