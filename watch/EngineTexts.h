// The engine lines of the status tooltip and of qzxwatch, in UTF-8, exactly as shown.
#pragma once

namespace qzx::texts {

inline constexpr const char* kEngineFanotify =
    "监控方式：fanotify，整个文件夹树一次监控，并记录做出变化的进程";
inline constexpr const char* kEngineInotify = "监控方式：inotify，每个子文件夹各设一个监控";
// Wraps the reason why fanotify is not used: "……监控（未用 fanotify：原因）".
inline constexpr const char* kEngineWhyNotOpen = "（未用 fanotify：";
inline constexpr const char* kEngineWhyNotClose = "）";

inline constexpr const char* kNoFanotifyPermission =
    "没有 fanotify 所需的权限，须以 root 或系统服务运行";
inline constexpr const char* kNoFanotifyKernel = "系统内核不支持所需的 fanotify 功能";
inline constexpr const char* kNoFanotifyNoDevice = "此文件系统不支持整体监控（如 FUSE）";
inline constexpr const char* kNoFanotifySubvolume =
    "文件夹位于子卷上（如 btrfs 子卷），不支持整体监控";
inline constexpr const char* kNoFanotifyHandles = "此文件系统不支持文件句柄";
inline constexpr const char* kNoFanotifyLimit = "fanotify 的数量已达系统上限";
// Followed by the system's error number.
inline constexpr const char* kNoFanotifyOther = "fanotify 无法使用，错误号 ";

}  // namespace qzx::texts
