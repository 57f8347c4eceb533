// The event list's context menu: which items a row gets, what "复制路径" copies and which
// pattern each ignore item adds to the list. Plain rules, so that both shells show the same
// menu and the rules are tested once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/PathRules.h"
#include "watch/EventRow.h"
#include "watch/IgnoreRules.h"

namespace qzx {

/// What an item of the menu does.
enum class RowMenuCommand {
    kOpenFolder,    // "打开所在文件夹": the row's folder, as a double click opens it
    kCopyPath,      // "复制路径": PathToCopy on the clipboard
    kIgnoreType,    // "忽略此类文件 (*.EXT)": adds pattern to the list
    kIgnoreFolder,  // "忽略此文件夹": adds pattern to the list
    kIgnoreList,    // "忽略列表...": the dialog
    kSeparator,     // a line between groups
};

/// One item, in the order shown.
struct RowMenuItem {
    RowMenuCommand command = RowMenuCommand::kSeparator;
    /// The caption in UTF-8; empty for a separator.
    std::string text;
    /// For the two ignore items: the line they add to the list.
    std::string pattern;
};

/// The row the menu opens on, as the presenter knows it.
struct RowMenuContext {
    /// The row under the pointer; null below the last row, where only the list's dialog is
    /// offered.
    const EventRow* row = nullptr;
    /// Whether the row's path (for a rename the new one) names a folder: a folder gets no
    /// "忽略此类文件" and "忽略此文件夹" means the folder itself rather than the one holding it.
    PathKind kind = PathKind::kUnknown;
    /// The folder of the run that made the row, ending with the separator. The folder item is
    /// offered only for a folder strictly below it, since its pattern is relative to it; empty
    /// when unknown.
    std::string_view watchedFolder;
    char separator = kPathSeparator;
    /// The case rule, by which a rename between "a.TMP" and "b.tmp" has one type, not two.
    IgnoreSyntax syntax = kSystemIgnoreSyntax;
};

/// The items of the menu: for a row "打开所在文件夹", "复制路径", a separator, "忽略此类文件
/// (*.EXT)" for each extension of its file names (a rename may have two: its new name's first),
/// "忽略此文件夹" when the folder is below the watched one, and "忽略列表...". Any thread.
std::vector<RowMenuItem> RowMenuItems(const RowMenuContext& context);

/// The full path "复制路径" copies: the details, for a rename the new path (the old one for the
/// half of a rename whose other half never came). UTF-8 as the row holds it.
std::string PathToCopy(const EventRow& row, char separator = kPathSeparator);

/// The ignore list with pattern as its last line, unchanged when a line says exactly that
/// already (clicking the same item twice adds it once).
std::vector<std::string> WithIgnorePattern(std::vector<std::string> lines,
                                           std::string_view pattern);

}  // namespace qzx
