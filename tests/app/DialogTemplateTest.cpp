#include <gtest/gtest.h>

#include <set>

#include "app/ControlIds.h"
#include "app/DialogTemplate.h"

namespace qzx {
namespace {

TEST(DialogTemplate, UnitsToPixelsRoundsHalvesAwayFromZero) {
    const struct {
        int units;
        int pixels;
    } cases[] = {{0, 0},   {1, 2},   {2, 3},     {3, 5},    {45, 68},
                 {-1, -2}, {-3, -5}, {424, 636}, {303, 455}};
    for (const auto& c : cases) EXPECT_EQ(DialogUnitsToPixels(c.units), c.pixels) << c.units;
}

// Equal sizes in the template stay equal on screen wherever the control sits.
TEST(DialogTemplate, RectsConvertEachNumberAlike) {
    EXPECT_EQ(TemplateRectToPixels({372, 28, 45, 17}), (Rect{558, 42, 68, 26}));
    EXPECT_EQ(TemplateRectToPixels({372, 54, 45, 17}).height,
              TemplateRectToPixels({319, 28, 45, 17}).height);
}

// Each control that the window looks up by number appears once, in the designed tab order.
TEST(DialogTemplate, MainWindowHasEveryControlOnce) {
    const DialogTemplate& d = MainWindowTemplate();
    EXPECT_EQ(d.width, 424);
    EXPECT_EQ(d.height, 303);
    ASSERT_EQ(d.controls.size(), 23u);
    EXPECT_EQ(d.controls.front().id, kIdFolderPath);
    EXPECT_EQ(d.controls.back().id, kIdOptRecordLog);
    std::set<int> ids;
    int defaults = 0;
    for (const TemplateControl& c : d.controls) {
        if (c.id != kIdStatic) {
            EXPECT_TRUE(ids.insert(c.id).second) << c.id;
        }
        if (c.kind == ControlKind::DefaultPushButton) {
            ++defaults;
            EXPECT_EQ(c.id, kIdStart);
        }
        if (c.kind == ControlKind::Picture) {
            EXPECT_TRUE(c.image == kBitmapLogo || c.image == kBitmapBanner);
        }
    }
    EXPECT_EQ(defaults, 1);
    EXPECT_EQ(ids.size(), 22u);
    EXPECT_EQ(d.caption.rfind("翠鸮文件之哨 Ver1.2 - ", 0), 0u);
}

TEST(DialogTemplate, AboutBoxHasIconTextsAndOk) {
    const DialogTemplate& d = AboutBoxTemplate();
    EXPECT_EQ(d.caption, "关于 QzxFile");
    EXPECT_EQ(d.width, 235);
    EXPECT_EQ(d.height, 55);
    ASSERT_EQ(d.controls.size(), 4u);
    EXPECT_EQ(d.controls[0].image, kIconAbout);
    EXPECT_EQ(d.controls[1].caption, "QzxFile 1.0 版");
    EXPECT_TRUE(d.controls[1].styles & kStyleNoPrefix);
    EXPECT_EQ(d.controls[3].id, kIdOk);
    EXPECT_EQ(d.controls[3].caption, "确定");
    EXPECT_EQ(std::string(AboutItemText()), "关于 QzxFile(&A)...");
}

// The line naming the log folder sits below every template control, indented as far as the
// icon, in the box that grew by its height.
TEST(DialogTemplate, AboutLogLineSitsBelowTheTemplatesControls) {
    const DialogTemplate& d = AboutBoxTemplate();
    const Rect line = AboutLogLineRect(DialogUnitsToPixels(d.width), DialogUnitsToPixels(d.height),
                                       DialogUnitsToPixels(kAboutLogLineIndent),
                                       DialogUnitsToPixels(kAboutLogLineHeight));
    EXPECT_EQ(line, (Rect{17, 79, 319, 18}));
    EXPECT_EQ(kAboutLogLineIndent, d.controls[0].units.x);
    for (const TemplateControl& c : d.controls) {
        const Rect r = TemplateRectToPixels(c.units);
        EXPECT_LE(r.y + r.height, line.y) << c.caption;
    }
}

// The template's 9-point "宋体" draws an ASCII character 6 pixels wide and a Chinese one 12,
// and a dialog unit across is a quarter of its 6-pixel average: each About text must fit the
// 119 units of its control, or the box cuts it off.
TEST(DialogTemplate, AboutTextsFitTheirControlsInTheDialogFont) {
    int labels = 0;
    for (const TemplateControl& c : AboutBoxTemplate().controls) {
        if (c.kind != ControlKind::Label) continue;
        ++labels;
        int pixels = 0;
        for (unsigned char byte : c.caption) {
            if (byte < 0x80) pixels += 6;
            if (byte >= 0xC0) pixels += 12;  // the first byte of a wide character
        }
        EXPECT_LE(pixels * 4, c.units.width * 6) << c.caption;
    }
    EXPECT_EQ(labels, 2);
}

}  // namespace
}  // namespace qzx
