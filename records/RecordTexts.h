// The texts the export shows the user, in UTF-8, exactly as the program writes them.
#pragma once

#include <string>
#include <string_view>

namespace qzx {

inline constexpr const char* kExportFilterLogLabel = "日志 (*.log)";
inline constexpr const char* kExportFilterLogPattern = "*.log";
inline constexpr const char* kExportFilterAllLabel = "所有文件(*.*)";
inline constexpr const char* kExportFilterAllPattern = "*.*";
/// Appended to a chosen file name that has no extension.
inline constexpr const char* kExportExtension = ".log";
/// First line of an export file, before the empty line.
inline constexpr const char* kExportHeader = "ID\t时间\t事件\t路径";

/// The overwrite question for an existing path.
inline std::string OverwriteQuestionText(std::string_view path) {
    return "文件[" + std::string(path) + "]已经存在，是否覆盖？";
}

/// The message after a successful export.
inline std::string SavedText(std::string_view path) {
    return "保存成功！位置[" + std::string(path) + "]。";
}

/// The message after a failed export.
inline std::string SaveFailedText(std::string_view path) {
    return "保存失败！位置[" + std::string(path) + "]。";
}

}  // namespace qzx
