// Numbers of the main window's controls, its About box and its resources. They are shared by
// every front end, so a control keeps its number whichever toolkit draws it.
#pragma once

namespace qzx {

/// A control that nothing looks up by its number (labels, the logo, the About box texts).
constexpr int kIdStatic = -1;

/// The About box's OK button.
constexpr int kIdOk = 1;
/// "退出程序": closes the main window.
constexpr int kIdExit = 2;
/// A dialog's Cancel button: the number Escape reports, as the exit button's is.
constexpr int kIdCancel = 2;
/// "开始监控".
constexpr int kIdStart = 1000;
/// "停止监控".
constexpr int kIdStop = 1001;
/// The folder path box (`folderPath`).
constexpr int kIdFolderPath = 1002;
/// "浏览...".
constexpr int kIdBrowse = 1003;
/// The event list (`eventList`).
constexpr int kIdEventList = 1004;
/// "导出记录".
constexpr int kIdExport = 1005;
/// Check box "文件新增" (`optAdded`).
constexpr int kIdOptAdded = 1007;
/// Check box "文件修改" (`optModified`).
constexpr int kIdOptModified = 1008;
/// Check box "文件删除" (`optDeleted`).
constexpr int kIdOptDeleted = 1009;
/// Check box "文件命名" (`optRenamed`).
constexpr int kIdOptRenamed = 1010;
/// Label "选择路径:".
constexpr int kIdPathLabel = 1012;
/// Label "选择事件:".
constexpr int kIdEventsLabel = 1013;
/// Check box "其他事件" (`optOther`).
constexpr int kIdOptOther = 1015;
/// "关于我们": opens the maker's page.
constexpr int kIdAbout = 1018;
/// The news ticker line.
constexpr int kIdTicker = 1019;
/// The banner picture; opens the maker's page when clicked.
constexpr int kIdBanner = 1021;
/// "清空记录".
constexpr int kIdClear = 1023;
/// Label "好消息:" before the ticker.
constexpr int kIdTickerLabel = 1024;
/// Check box "超过10000行自动清空" (`optAutoClear`).
constexpr int kIdOptAutoClear = 1026;
/// The monitoring status text.
constexpr int kIdStatus = 1027;
/// Check box "记录日志" (`optRecordLog`).
constexpr int kIdOptRecordLog = 1028;
/// The ignore list's dialog: its text box of patterns.
constexpr int kIdIgnoreText = 1040;
/// The ignore list's dialog: check box "同时遵循文件夹中的 .gitignore 文件".
constexpr int kIdFollowTreeFiles = 1041;

/// Icon shown in the About box.
constexpr int kIconAbout = 128;
/// The main window's icon (`windowIcon`), also the desktop icon.
constexpr int kIconWindow = 129;
/// The logo picture in the top-left corner of the main window.
constexpr int kBitmapLogo = 130;
/// The banner picture at the top of the main window.
constexpr int kBitmapBanner = 133;
/// The logo and the banner drawn at twice their size, for screens above 96 DPI.
constexpr int kBitmapLogo2x = 131;
constexpr int kBitmapBanner2x = 134;
/// The About box template.
constexpr int kTemplateAbout = 100;
/// The main window template.
constexpr int kTemplateMain = 102;
/// The ignore list's dialog, which the Windows program builds in memory.
constexpr int kTemplateIgnoreList = 103;
/// String "关于 QzxFile(&A)...", the system menu's About item.
constexpr int kStringAboutItem = 101;
/// Command of the system menu's About item.
constexpr int kCommandAbout = 0x10;
/// Command of the system menu's item "记录停止期间的变化" (catch-up), which is ticked while on.
constexpr int kCommandCatchUp = 0x20;
/// The system-menu item a command names: Windows uses the low four bits of a system command
/// itself, so any command from 0x10 to 0x1F is the About item.
constexpr int SystemMenuItem(int systemCommand) { return systemCommand & 0xFFF0; }

/// Size kinds a resize reports: restored, minimised, maximised.
constexpr int kSizeRestored = 0;
constexpr int kSizeMinimized = 1;
constexpr int kSizeMaximized = 2;

}  // namespace qzx
