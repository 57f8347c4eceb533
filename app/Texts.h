// Texts the user sees, in UTF-8, exactly as the program writes them.
#pragma once

namespace qzx::texts {

inline constexpr const char* kAppName = "QzxFile";
inline constexpr const char* kBadPath = "监控路径不正确，请选择正确的路径！";
inline constexpr const char* kChooseFolder = "请选择文件夹:";
// Before the daily log's folder, on the line the About box adds below its template texts.
inline constexpr const char* kAboutLogFolder = "日志文件夹: ";

inline constexpr const char* kStatusIdle = "监控状态";
// Shown from Start until every subfolder that already existed is watched.
inline constexpr const char* kStatusArming = "准备中..";
inline constexpr const char* kStatusMonitoring = "监控中..";
inline constexpr const char* kStatusStopped = "已停止..";
// Short enough for the status line; the longer explanation goes into its tooltip.
inline constexpr const char* kStatusLost = "有变化丢失!";
inline constexpr const char* kStatusPartial = "部分未监控!";
inline constexpr const char* kStatusLogFailing = "日志写入失败!";

inline constexpr const char* kDetailArmingBefore = "正在为已有的子文件夹设置监控，已监控 ";
inline constexpr const char* kDetailArmingAfter =
    " 个文件夹；完成后显示“监控中..”，此后的变化都会记录。";
inline constexpr const char* kDetailLost =
    "变化来得太快（系统的变化队列溢出，或等待记录的变化过多），有些变化没能记录下来。";
inline constexpr const char* kDetailUnreadable = "无法读取的子文件夹未被监控：";
// Names the system's own setting, so each platform words it in a file of its own.
extern const char* const kDetailWatchLimit;
inline constexpr const char* kDetailEnded = "监控的文件夹已被删除、移走或无法再读取，监控已停止。";
inline constexpr const char* kDetailLogFailing = "日志文件无法写入，记录的变化没有写进日志。";
// The status tooltip's count of changes that the ignore list left out: "已忽略 12 个变化（…）".
inline constexpr const char* kDetailIgnoredBefore = "已忽略 ";
inline constexpr const char* kDetailIgnoredAfter = " 个变化（符合忽略列表，未记录）";
// Closes a line of trouble in the status tooltip: "（3 次，最近一次 14:7:9）".
/// What the snapshot of the tree found and did (catch-up and recovery after an overflow).
inline constexpr const char* kCatchUpItem = "记录停止期间的变化";
inline constexpr const char* kCatchUpFoundBefore = "停止期间的变化：";
inline constexpr const char* kCatchUpFoundMiddle = " 个（自 ";
inline constexpr const char* kCatchUpFoundAfter = "）";
inline constexpr const char* kCatchUpComparing = "正在比较停止期间的变化..";
inline constexpr const char* kCatchUpFirst = "尚无此文件夹的快照：停止期间的变化从下次开始记录。";
inline constexpr const char* kCatchUpBadBefore = "此文件夹的快照";
inline constexpr const char* kCatchUpBadAfter =
    "，已另存为 .bad 并将重建；停止期间的变化本次无法得知。";
inline constexpr const char* kCatchUpTruncated = "不完整";
inline constexpr const char* kCatchUpCorrupt = "已损坏";
inline constexpr const char* kCatchUpOtherFolder = "属于另一个文件夹";
inline constexpr const char* kCatchUpNewerFormat = "来自较新的版本";
inline constexpr const char* kCatchUpTooLarge = "过大";
inline constexpr const char* kCatchUpUnreadable = "无法读取";
inline constexpr const char* kCatchUpSaveFailed =
    "快照无法写入（磁盘已满或没有权限），保留了旧的快照。";
inline constexpr const char* kCatchUpListFailed =
    "文件夹无法完整列出（或超过快照上限），未做快照。";
inline constexpr const char* kCatchUpRecoveredBefore = "丢失后比较找回 ";
inline constexpr const char* kCatchUpRecoveredAfter =
    " 个变化；期间新建又删除的文件与变化的先后无法找回。";
inline constexpr const char* kDetailCountOpen = "（";
inline constexpr const char* kDetailTimes = " 次";
inline constexpr const char* kDetailPlaces = " 处";
inline constexpr const char* kDetailLines = " 行未写入";
inline constexpr const char* kDetailLastSeen = "，最近一次 ";
inline constexpr const char* kDetailCountClose = "）";

// The list's context menu. "忽略此类文件 (*.txt)" is made of the pattern between the two parts.
inline constexpr const char* kMenuOpenFolder = "打开所在文件夹";
inline constexpr const char* kMenuCopyPath = "复制路径";
inline constexpr const char* kMenuIgnoreTypeBefore = "忽略此类文件 (";
inline constexpr const char* kMenuIgnoreTypeAfter = ")";
inline constexpr const char* kMenuIgnoreFolder = "忽略此文件夹";
inline constexpr const char* kMenuIgnoreList = "忽略列表...";

// The ignore list's dialog.
inline constexpr const char* kIgnoreDialogTitle = "忽略列表";
inline constexpr const char* kIgnoreDialogHint =
    "每行一个规则：*.tmp 忽略此类文件；build/ 忽略任何位置的此名文件夹；/docs/old/ 从监控的文件夹"
    "算起；!keep.tmp 为例外，后面的行优先；# 开头的行是注释。";
inline constexpr const char* kIgnoreFollowTreeFiles = "同时遵循文件夹中的 .gitignore 文件";
// "第 3 行“*.[ch”无法使用：“[” 没有对应的 “]”。"
inline constexpr const char* kBadLineBefore = "第 ";
inline constexpr const char* kBadLineMiddle = " 行“";
inline constexpr const char* kBadLineAfter = "”无法使用：";
inline constexpr const char* kPatternUnclosedBracket = "“[” 没有对应的 “]”。";
inline constexpr const char* kPatternEmpty = "没有要匹配的名称。";
inline constexpr const char* kPatternTrailingBackslash = "“\\” 在行尾，后面没有要转义的字符。";
inline constexpr const char* kPatternUnknownClass = "“[[:…:]]” 中没有这个字符类。";
inline constexpr const char* kPatternBackslashLetter =
    "“\\” 只用来转义下一个字符；文件夹之间请用 “/” 分隔。";
inline constexpr const char* kPatternDotName = "路径中不能有 “.” 或 “..”。";
inline constexpr const char* kPatternReversedRange = "“[ ]” 中范围的起点大于终点。";
// The ignore list's file: each message names the file on the line after it.
inline constexpr const char* kIgnoreFileUnreadable = "无法读取忽略列表文件，本次不使用忽略列表：";
inline constexpr const char* kIgnoreFileTooLarge = "忽略列表文件过大，本次不使用忽略列表：";
inline constexpr const char* kIgnoreFileBadLines = "忽略列表文件中有无法使用的规则，这些行未生效：";
inline constexpr const char* kIgnoreFileUnwritable =
    "无法保存忽略列表文件，更改只在本次运行中有效：";
inline constexpr const char* kIgnoreFileNoFolder = "找不到用户的设置文件夹，忽略列表无法保存。";
inline constexpr const char* kMoreBadLinesBefore = "……另有 ";
inline constexpr const char* kMoreBadLinesAfter = " 行。";

}  // namespace qzx::texts
