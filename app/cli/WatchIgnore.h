// qzxwatch's ignore options: --exclude, --include and --exclude-from made into one pattern list,
// in the order given, and its English wording of a pattern that cannot be used.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/FileSystem.h"
#include "watch/IgnoreRules.h"

namespace qzx::cli {

/// One ignore option as given on the command line.
struct IgnoreOption {
    enum class Kind { Exclude, Include, ExcludeFrom };
    Kind kind = Kind::Exclude;
    /// The pattern, or for ExcludeFrom the file's path (UTF-8).
    std::string value;
};

/// Why a pattern cannot be used, in a few English words.
const char* PatternProblemText(PatternProblem problem);

/// The rules of options, in their order (a later one wins over an earlier one); each
/// --exclude-from file is read through files. Null when there are no options. On a pattern that
/// cannot be used, or a file that cannot be read, returns nothing with error set to one line
/// that names the option or the file, the line and the reason.
std::optional<std::shared_ptr<const IgnoreRules>> BuildIgnoreRules(
    const std::vector<IgnoreOption>& options, const FileSystem& files, std::string& error);

}  // namespace qzx::cli
