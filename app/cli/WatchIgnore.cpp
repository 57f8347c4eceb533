// A pattern list that cannot be used stops qzxwatch before it watches anything: a list silently
// shorter than written would print, or hide, changes the user did not expect.
#include "app/cli/WatchIgnore.h"

#include "records/IgnoreFile.h"

namespace qzx::cli {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string FileError(const std::string& path, ReadResult result) {
    switch (result) {
        case ReadResult::kMissing:
            return "--exclude-from: no such file: " + path;
        case ReadResult::kTooLarge:
            return "--exclude-from: file too large for a pattern list: " + path;
        case ReadResult::kRead:
        case ReadResult::kFailed:
            break;
    }
    return "--exclude-from: cannot read " + path;
}

bool AddFile(const std::string& path, const FileSystem& files, IgnoreRules& rules,
             std::string& error) {
    const PatternFileLoad load = LoadPatternFile(files, path, rules);
    if (load.result != ReadResult::kRead) {
        error = FileError(path, load.result);
        return false;
    }
    if (load.errors.empty()) return true;
    // The first one is enough to go and mend; the file is read again on the next run.
    const PatternError& first = load.errors.front();
    error = path + ":" + std::to_string(first.line) + ": bad pattern " + Quoted(first.text) + ": " +
            PatternProblemText(first.problem);
    return false;
}

}  // namespace

const char* PatternProblemText(PatternProblem problem) {
    switch (problem) {
        case PatternProblem::kUnclosedBracket:
            return "\"[\" without its \"]\"";
        case PatternProblem::kEmptyPattern:
            return "nothing to match";
        case PatternProblem::kTrailingBackslash:
            return "\"\\\" at the end, with nothing to escape";
        case PatternProblem::kUnknownClass:
            return "no such character class";
        case PatternProblem::kBackslashLetter:
            return "\"\\\" only escapes the next character; separate folders with \"/\"";
        case PatternProblem::kDotName:
            return "\".\" and \"..\" never name a watched path";
        case PatternProblem::kReversedRange:
            break;
    }
    return "a range whose start comes after its end";
}

std::optional<std::shared_ptr<const IgnoreRules>> BuildIgnoreRules(
    const std::vector<IgnoreOption>& options, const FileSystem& files, std::string& error) {
    if (options.empty()) return std::shared_ptr<const IgnoreRules>();
    auto rules = std::make_shared<IgnoreRules>();
    for (const IgnoreOption& option : options) {
        if (option.kind == IgnoreOption::Kind::ExcludeFrom) {
            if (!AddFile(option.value, files, *rules, error)) return std::nullopt;
            continue;
        }
        const bool include = option.kind == IgnoreOption::Kind::Include;
        if (const auto problem = rules->AddPattern(option.value, include)) {
            error = std::string(include ? "--include" : "--exclude") + ": bad pattern " +
                    Quoted(option.value) + ": " + PatternProblemText(*problem);
            return std::nullopt;
        }
    }
    return std::shared_ptr<const IgnoreRules>(std::move(rules));
}

}  // namespace qzx::cli
