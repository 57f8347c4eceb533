// Texts the user sees, in UTF-8, exactly as the program writes them.
#pragma once

namespace qzx::texts {

inline constexpr const char* kAppName = "QzxFile";
inline constexpr const char* kBadPath = "监控路径不正确，请选择正确的路径！";
inline constexpr const char* kChooseFolder = "请选择文件夹:";

inline constexpr const char* kStatusIdle = "监控状态";
inline constexpr const char* kStatusMonitoring = "监控中..";
inline constexpr const char* kStatusStopped = "已停止..";
// Short enough for the status line; the longer explanation goes into its tooltip.
inline constexpr const char* kStatusLost = "有变化丢失!";
inline constexpr const char* kStatusPartial = "部分未监控!";
inline constexpr const char* kStatusLogFailing = "日志写入失败!";

inline constexpr const char* kDetailLost = "系统的变化队列溢出，有些变化没能记录下来。";
inline constexpr const char* kDetailUnreadable = "无法读取的子文件夹未被监控：";
// Names the system's own setting, so each platform words it in a file of its own.
extern const char* const kDetailWatchLimit;
inline constexpr const char* kDetailEnded = "监控的文件夹已被删除、移走或无法再读取，监控已停止。";
inline constexpr const char* kDetailLogFailing = "日志文件无法写入，记录的变化没有写进日志。";

}  // namespace qzx::texts
