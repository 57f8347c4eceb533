// The ignore list as the user edits it: the dialog's text, its check, and the messages about the
// list's file. The list is kept as the lines the user wrote, comments and blank lines included,
// so that writing it back never loses a word of theirs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/FileSystem.h"
#include "watch/IgnoreRules.h"

namespace qzx {

/// The comment line by which the list's file remembers the dialog's box "同时遵循文件夹中的
/// .gitignore 文件": a comment to any reader of the list, qzxwatch's --exclude-from included.
inline constexpr const char* kFollowTreeFilesLine =
    "# qzxfile: also follow the folder's .gitignore files";

/// Takes every kFollowTreeFilesLine out of lines; true when there was one. Any thread.
bool TakeFollowTreeFilesLine(std::vector<std::string>& lines);

/// The dialog's text for the list: one line each, joined by "\n" (a shell whose edit box wants
/// CR LF converts). Any thread.
std::string IgnoreListText(const std::vector<std::string>& lines);

/// The outcome of OK in the dialog.
struct IgnoreListCheck {
    /// True when every line can be used; the dialog then closes with lines as the new list.
    bool ok = false;
    /// The edited text's lines (CR LF or LF), blank lines at its end dropped.
    std::vector<std::string> lines;
    /// When not ok: the first line that cannot be used, counted from 1, and why.
    int badLine = 0;
    PatternProblem problem = PatternProblem::kEmptyPattern;
    /// When not ok: the message to show (UTF-8), the dialog staying open on the text.
    std::string message;
};

/// Checks the dialog's edited text against the syntax. Any thread.
IgnoreListCheck CheckIgnoreListText(std::string_view editedText,
                                    IgnoreSyntax syntax = kSystemIgnoreSyntax);

/// Why a pattern cannot be used, as a sentence (UTF-8).
const char* PatternProblemText(PatternProblem problem);

/// "第 3 行“*.[ch”无法使用：“[” 没有对应的 “]”。"
std::string BadPatternLineText(const PatternError& error);

/// The message at start-up when the list's file could not be used: for kFailed and kTooLarge a
/// line that says so, then the path; empty for kRead and kMissing (no list yet is no trouble).
std::string IgnoreFileReadText(const std::string& path, ReadResult result);

/// The message at start-up for lines of the list's file that cannot be used: a line that says
/// so, the path, then one line per bad line (the first five, then how many more).
std::string IgnoreFileBadLinesText(const std::string& path,
                                   const std::vector<PatternError>& errors);

/// The message when the list could not be saved: a line that says so, then the path; without a
/// path, that there is no settings folder.
std::string IgnoreFileWriteText(const std::string& path);

}  // namespace qzx
