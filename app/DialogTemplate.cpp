// Captions are the program's own words and must stay exactly as they are; positions are the
// design in dialog units, which ArrangeControls then re-anchors for the real client size.
#include "app/DialogTemplate.h"

#include "app/ControlIds.h"
#include "app/Texts.h"

namespace qzx {

namespace {

constexpr unsigned kTab = kStyleTabStop;
constexpr unsigned kGroup = kStyleGroup;

DialogTemplate MakeMainWindowTemplate() {
    DialogTemplate d;
    d.id = kTemplateMain;
    // The window adds the maker's address, which the program keeps scrambled.
    d.caption = "翠鸮文件之哨 Ver" QZX_VERSION_TEXT " - ";
    d.width = 424;
    d.height = 303;
    d.fontFace = "宋体";
    d.fontPoints = 9;
    using K = ControlKind;
    d.controls = {
        {kIdFolderPath, K::Edit, "", {83, 28, 228, 16}, kStyleBorder | kTab | kStyleAutoHScroll},
        {kIdBrowse, K::PushButton, "浏览...", {319, 28, 45, 17}, kTab},
        {kIdOptAdded, K::CheckBox, "文件新增", {47, 50, 48, 10}, kTab},
        {kIdOptModified, K::CheckBox, "文件修改", {98, 50, 48, 10}, kTab},
        {kIdOptDeleted, K::CheckBox, "文件删除", {149, 50, 48, 10}, kTab},
        {kIdOptRenamed, K::CheckBox, "文件命名", {201, 50, 48, 10}, kTab},
        {kIdPathLabel, K::Label, "选择路径:", {41, 30, 40, 10}, kGroup},
        {kIdEventsLabel, K::Label, "选择事件:", {7, 51, 37, 8}, kGroup},
        {kIdEventList, K::ListView, "", {7, 66, 358, 222}, kStyleBorder | kTab},
        {kIdOptOther, K::CheckBox, "其他事件", {252, 50, 48, 10}, kTab},
        {kIdStart, K::DefaultPushButton, "开始监控", {372, 28, 45, 17}, kTab},
        {kIdStop, K::PushButton, "停止监控", {372, 54, 45, 17}, kTab},
        {kIdExport, K::PushButton, "导出记录", {372, 80, 45, 17}, kTab},
        {kIdAbout, K::PushButton, "关于我们", {372, 244, 45, 17}, kTab},
        {kIdExit, K::PushButton, "退出程序", {372, 271, 45, 17}, kTab},
        {kIdStatic, K::Picture, "", {8, 5, 28, 32}, 0, kBitmapLogo},
        {kIdTicker, K::Label, "", {43, 290, 319, 9}, kGroup | kStyleNotify},
        {kIdBanner, K::Picture, "", {38, 6, 260, 21}, kStyleNotify, kBitmapBanner},
        {kIdClear, K::PushButton, "清空记录", {372, 107, 45, 17}, kTab},
        {kIdTickerLabel, K::Label, "好消息:", {7, 291, 29, 8}, kGroup},
        {kIdOptAutoClear, K::CheckBox, "超过10000行自动清空", {319, 12, 98, 13}, kTab},
        {kIdStatus, K::Label, "监控状态", {319, 50, 43, 11}, kGroup},
        {kIdOptRecordLog, K::CheckBox, "记录日志", {372, 139, 50, 14}, kTab},
    };
    return d;
}

DialogTemplate MakeAboutBoxTemplate() {
    DialogTemplate d;
    d.id = kTemplateAbout;
    d.caption = "关于 QzxFile";
    d.width = 235;
    d.height = 55;
    d.fontFace = "宋体";
    d.fontPoints = 9;
    using K = ControlKind;
    d.controls = {
        {kIdStatic, K::Picture, "", {11, 17, 20, 20}, 0, kIconAbout},
        {kIdStatic, K::Label, "QzxFile 1.0 版", {40, 10, 119, 8}, kStyleNoPrefix},
        {kIdStatic, K::Label, "版权所有 (C) 2026 QzxFile", {40, 25, 119, 8}, 0},
        {kIdOk, K::DefaultPushButton, "确定", {178, 7, 50, 14}, kGroup | kTab},
    };
    return d;
}

// Wide enough for a path pattern of some depth, tall enough for a dozen lines.
DialogTemplate MakeIgnoreListTemplate() {
    DialogTemplate d;
    d.id = kTemplateIgnoreList;
    d.caption = texts::kIgnoreDialogTitle;
    d.width = 270;
    d.height = 180;
    d.fontFace = "宋体";
    d.fontPoints = 9;
    using K = ControlKind;
    d.controls = {
        {kIdStatic, K::Label, texts::kIgnoreDialogHint, {7, 7, 256, 34}, kStyleNoPrefix},
        {kIdIgnoreText,
         K::Edit,
         "",
         {7, 44, 256, 110},
         kStyleBorder | kTab | kGroup | kStyleAutoHScroll | kStyleMultiline},
        {kIdFollowTreeFiles,
         K::CheckBox,
         texts::kIgnoreFollowTreeFiles,
         {7, 160, 148, 14},
         kGroup | kTab},
        {kIdOk, K::DefaultPushButton, "确定", {159, 160, 50, 14}, kGroup | kTab},
        {kIdCancel, K::PushButton, "取消", {213, 160, 50, 14}, kTab},
    };
    return d;
}

}  // namespace

const DialogTemplate& MainWindowTemplate() {
    static const DialogTemplate d = MakeMainWindowTemplate();
    return d;
}

const DialogTemplate& AboutBoxTemplate() {
    static const DialogTemplate d = MakeAboutBoxTemplate();
    return d;
}

const DialogTemplate& IgnoreListTemplate() {
    static const DialogTemplate d = MakeIgnoreListTemplate();
    return d;
}

const char* AboutItemText() { return "关于 QzxFile(&A)..."; }

Rect AboutLogLineRect(int boxWidth, int boxHeight, int indent, int height) {
    return {indent, boxHeight - height / 4, boxWidth - 2 * indent, height};
}

int DialogUnitsToPixels(int units) {
    const long long scaled = static_cast<long long>(units) * kPixelsPerUnitNum;
    const long long half = kPixelsPerUnitDen / 2;
    // Symmetric rounding keeps a rectangle's size independent of which side of zero it lies.
    const long long rounded =
        scaled >= 0 ? (scaled + half) / kPixelsPerUnitDen : -((-scaled + half) / kPixelsPerUnitDen);
    return static_cast<int>(rounded);
}

Rect TemplateRectToPixels(const Rect& units) {
    return {DialogUnitsToPixels(units.x), DialogUnitsToPixels(units.y),
            DialogUnitsToPixels(units.width), DialogUnitsToPixels(units.height)};
}

std::vector<ControlRect> TemplateControlRects(const DialogTemplate& dialog) {
    std::vector<ControlRect> rects;
    rects.reserve(dialog.controls.size());
    for (const TemplateControl& c : dialog.controls) {
        rects.push_back({c.id, TemplateRectToPixels(c.units)});
    }
    return rects;
}

}  // namespace qzx
