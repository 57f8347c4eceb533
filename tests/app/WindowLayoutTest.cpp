#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/ControlIds.h"
#include "app/DialogTemplate.h"
#include "app/WindowLayout.h"

namespace qzx {
namespace {

std::vector<ControlRect> TemplateRects() { return TemplateControlRects(MainWindowTemplate()); }

Rect Find(const std::vector<ControlRect>& controls, int id) {
    for (const ControlRect& c : controls) {
        if (c.id == id) return c.rect;
    }
    ADD_FAILURE() << "no control " << id;
    return {};
}

struct Size {
    const char* name;
    int cx;
    int cy;
};

const Size kSizes[] = {
    {"template", 636, 455},
    {"maximised", 1920, 1040},
    {"tiny", 100, 50},
};

// Every anchored control lands where the design puts it, and the rest stay put, at the
// template size, a maximised window and a window too small for the design.
TEST(WindowLayout, AnchorsControlsForEverySize) {
    const std::vector<ControlRect> before = TemplateRects();
    for (const Size& s : kSizes) {
        SCOPED_TRACE(s.name);
        const int cx = s.cx;
        const int cy = s.cy;
        std::vector<ControlRect> after = before;
        const LayoutResult r = ArrangeControls(kSizeMaximized, cx, cy, after);
        ASSERT_TRUE(r.applied);
        EXPECT_EQ(r.detailsColumnWidth, std::max(0, cx - 245));

        for (int id : {kIdStart, kIdStop, kIdExport, kIdClear, kIdOptRecordLog}) {
            const Rect was = Find(before, id);
            EXPECT_EQ(Find(after, id), (Rect{cx - 75, was.y, 65, was.height})) << id;
        }
        EXPECT_EQ(Find(after, kIdAbout), (Rect{cx - 75, cy - 90, 65, 27}));
        EXPECT_EQ(Find(after, kIdExit), (Rect{cx - 75, cy - 47, 65, 27}));
        for (int id : {kIdBrowse, kIdStatus}) {
            const Rect was = Find(before, id);
            EXPECT_EQ(Find(after, id), (Rect{cx - 153, was.y, 65, was.height})) << id;
        }

        const Rect ticker = Find(before, kIdTicker);
        EXPECT_EQ(Find(after, kIdTicker), (Rect{ticker.x, cy - 18, ticker.width, 15}));
        const Rect label = Find(before, kIdTickerLabel);
        EXPECT_EQ(Find(after, kIdTickerLabel), (Rect{label.x, cy - 16, label.width, 13}));

        const Rect path = Find(before, kIdFolderPath);
        EXPECT_EQ(Find(after, kIdFolderPath),
                  (Rect{path.x, path.y, std::max(0, cx - 165 - path.x), path.height}));
        // The list ends 90 pixels from the right and 20 from the bottom whenever there is room.
        const Rect list = Find(before, kIdEventList);
        EXPECT_EQ(Find(after, kIdEventList), (Rect{list.x, list.y, std::max(0, cx - 90 - list.x),
                                                   std::max(0, cy - 20 - list.y)}));

        for (int id : {kIdOptAdded, kIdOptModified, kIdOptDeleted, kIdOptRenamed, kIdOptOther,
                       kIdPathLabel, kIdEventsLabel, kIdOptAutoClear, kIdBanner, kIdStatic}) {
            EXPECT_EQ(Find(after, id), Find(before, id)) << id;
        }
    }
}

// Sizes that would come out negative are empty instead; places may leave the window.
TEST(WindowLayout, TinyWindowClampsSizesButNotPlaces) {
    std::vector<ControlRect> controls = TemplateRects();
    const LayoutResult r = ArrangeControls(kSizeRestored, 100, 50, controls);
    EXPECT_EQ(r.detailsColumnWidth, 0);
    EXPECT_EQ(Find(controls, kIdEventList).width, 0);
    EXPECT_EQ(Find(controls, kIdEventList).height, 0);
    EXPECT_EQ(Find(controls, kIdFolderPath).width, 0);
    EXPECT_EQ(Find(controls, kIdAbout).y, -40);
    EXPECT_EQ(Find(controls, kIdBrowse).x, -53);
}

TEST(WindowLayout, MinimisedMovesNothing) {
    std::vector<ControlRect> controls = TemplateRects();
    const std::vector<ControlRect> before = controls;
    const LayoutResult r = ArrangeControls(kSizeMinimized, 0, 0, controls);
    EXPECT_FALSE(r.applied);
    for (size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(controls[i].rect, before[i].rect) << controls[i].id;
    }
}

// A control the window does not have is skipped; unknown IDs are left alone.
TEST(WindowLayout, MissingAndUnknownControlsAreSkipped) {
    std::vector<ControlRect> controls = {{kIdStart, {1, 2, 3, 4}}, {4242, {5, 6, 7, 8}}};
    const LayoutResult r = ArrangeControls(kSizeRestored, 800, 600, controls);
    EXPECT_TRUE(r.applied);
    EXPECT_EQ(r.detailsColumnWidth, 555);
    EXPECT_EQ(controls[0].rect, (Rect{725, 2, 65, 4}));
    EXPECT_EQ(controls[1].rect, (Rect{5, 6, 7, 8}));
}

// Stretched sizes follow where the control is now, not where the template put it, and a second
// pass over the result changes nothing.
TEST(WindowLayout, StretchFollowsCurrentPlaceAndIsStable) {
    std::vector<ControlRect> controls = {{kIdEventList, {50, 70, 1, 1}},
                                         {kIdFolderPath, {200, 40, 1, 1}}};
    ArrangeControls(kSizeRestored, 1000, 700, controls);
    EXPECT_EQ(controls[0].rect, (Rect{50, 70, 860, 610}));
    EXPECT_EQ(controls[1].rect, (Rect{200, 40, 635, 1}));
    const std::vector<ControlRect> once = controls;
    ArrangeControls(kSizeRestored, 1000, 700, controls);
    EXPECT_EQ(controls[0].rect, once[0].rect);
    EXPECT_EQ(controls[1].rect, once[1].rect);
}

}  // namespace
}  // namespace qzx
