// The questions and messages around an export: the save dialog, the overwrite question and the
// result, shared by every front end.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Prompts.h"
#include "records/FileSystem.h"

namespace qzx {

/// The save dialog's two choices, "日志 (*.log)" and "所有文件(*.*)".
std::vector<FileFilter> ExportFilters();

/// GUI thread: the save dialog, the ".log" rule and, for an existing path (a folder too), the
/// overwrite question. The path to write, or nothing when the user cancelled or said No.
std::optional<std::string> ChooseExportPath(Prompts& prompts, const FileSystem& files);

/// GUI thread: "保存成功！…" (information) for result 1, "保存失败！…" (exclamation) otherwise.
void ReportExportResult(Prompts& prompts, const std::string& path, int result);

}  // namespace qzx
