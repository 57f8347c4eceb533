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
// Closes a line of trouble in the status tooltip: "（3 次，最近一次 14:7:9）".
inline constexpr const char* kDetailCountOpen = "（";
inline constexpr const char* kDetailTimes = " 次";
inline constexpr const char* kDetailPlaces = " 处";
inline constexpr const char* kDetailLines = " 行未写入";
inline constexpr const char* kDetailLastSeen = "，最近一次 ";
inline constexpr const char* kDetailCountClose = "）";

}  // namespace qzx::texts
