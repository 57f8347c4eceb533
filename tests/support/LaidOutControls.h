// Where the layout puts the main window's controls for a client size, from their template
// places: what a shell's test expects its widgets to show, so that the design's numbers stay in
// the layout's own test.
#pragma once

#include <vector>

#include "app/ControlIds.h"
#include "app/DialogTemplate.h"
#include "app/WindowLayout.h"

namespace qzx::test {

/// The controls but the static texts (which share one ID), laid out for cx by cy; result gets
/// the layout's other answers when given.
inline std::vector<ControlRect> LaidOutControls(int cx, int cy, LayoutResult* result = nullptr) {
    std::vector<ControlRect> controls;
    for (const ControlRect& c : TemplateControlRects(MainWindowTemplate())) {
        if (c.id != kIdStatic) controls.push_back(c);
    }
    const LayoutResult made = ArrangeControls(kSizeRestored, cx, cy, controls);
    if (result != nullptr) *result = made;
    return controls;
}

}  // namespace qzx::test
