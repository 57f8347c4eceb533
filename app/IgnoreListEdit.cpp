// The ignore list's dialog and messages.
#include "app/IgnoreListEdit.h"

#include <algorithm>

#include "app/Texts.h"

namespace qzx {
namespace {

bool IsBlankLine(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

// Enough for a user to find the rest in the dialog.
constexpr std::size_t kBadLinesShown = 5;

}  // namespace

bool TakeFollowTreeFilesLine(std::vector<std::string>& lines) {
    const std::size_t before = lines.size();
    lines.erase(std::remove(lines.begin(), lines.end(), kFollowTreeFilesLine), lines.end());
    return lines.size() != before;
}

std::string IgnoreListText(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

IgnoreListCheck CheckIgnoreListText(std::string_view editedText, IgnoreSyntax syntax) {
    IgnoreListCheck check;
    check.lines = PatternLines(editedText);
    while (!check.lines.empty() && IsBlankLine(check.lines.back())) check.lines.pop_back();
    IgnoreRules rules(syntax);
    const std::vector<PatternError> errors = rules.AddLines(check.lines);
    if (errors.empty()) {
        check.ok = true;
        return check;
    }
    check.badLine = errors.front().line;
    check.problem = errors.front().problem;
    check.message = BadPatternLineText(errors.front());
    return check;
}

const char* PatternProblemText(PatternProblem problem) {
    switch (problem) {
        case PatternProblem::kUnclosedBracket:
            return texts::kPatternUnclosedBracket;
        case PatternProblem::kEmptyPattern:
            return texts::kPatternEmpty;
        case PatternProblem::kTrailingBackslash:
            return texts::kPatternTrailingBackslash;
        case PatternProblem::kUnknownClass:
            return texts::kPatternUnknownClass;
        case PatternProblem::kBackslashLetter:
            return texts::kPatternBackslashLetter;
        case PatternProblem::kDotName:
            return texts::kPatternDotName;
        case PatternProblem::kReversedRange:
            return texts::kPatternReversedRange;
    }
    return texts::kPatternEmpty;
}

std::string BadPatternLineText(const PatternError& error) {
    return std::string(texts::kBadLineBefore) + std::to_string(error.line) + texts::kBadLineMiddle +
           error.text + texts::kBadLineAfter + PatternProblemText(error.problem);
}

std::string IgnoreFileReadText(const std::string& path, ReadResult result) {
    switch (result) {
        case ReadResult::kRead:
        case ReadResult::kMissing:
            return {};
        case ReadResult::kTooLarge:
            return std::string(texts::kIgnoreFileTooLarge) + "\n" + path;
        case ReadResult::kFailed:
            break;
    }
    return std::string(texts::kIgnoreFileUnreadable) + "\n" + path;
}

std::string IgnoreFileBadLinesText(const std::string& path,
                                   const std::vector<PatternError>& errors) {
    std::string text = std::string(texts::kIgnoreFileBadLines) + "\n" + path;
    for (std::size_t i = 0; i < errors.size() && i < kBadLinesShown; ++i) {
        text += "\n" + BadPatternLineText(errors[i]);
    }
    if (errors.size() > kBadLinesShown) {
        text += std::string("\n") + texts::kMoreBadLinesBefore +
                std::to_string(errors.size() - kBadLinesShown) + texts::kMoreBadLinesAfter;
    }
    return text;
}

std::string IgnoreFileWriteText(const std::string& path) {
    if (path.empty()) return texts::kIgnoreFileNoFolder;
    return std::string(texts::kIgnoreFileUnwritable) + "\n" + path;
}

}  // namespace qzx
