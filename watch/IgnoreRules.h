// Ignore patterns: which changes below the watched folder are left out before they become rows,
// and which folders need not be watched at all.
//
// The syntax, one pattern a line:
//   *.tmp  ~$*  *.sw?  a name pattern ("*" any run of characters, "?" one character, "[abc]",
//                      "[a-z]", "[!abc]" or "[^abc]" one of or none of a set), compared with
//                      each component of the path: the file's name and the folders above it;
//   build/             a trailing separator: only a folder of that name (anywhere below);
//   /build/  docs/old/ a separator at the start or inside: a path from the watched folder, one
//                      name pattern per component;
//   !keep.tmp          an exception: keeps what earlier lines ignore;
//   # comment          blank lines and lines starting with "#" say nothing.
// A rule applies to a path when it matches the path itself or one of the folders above it, so a
// folder's rule covers everything under it; of the rules that apply, the last line decides.
// Blanks at either end of a line are dropped; "[ ]" keeps one. There is no escape character
// ("\" is a separator on Windows): "[*]", "[?]", "[[]", "[#]" and "[!]" stand for the
// characters themselves ("!" or "^" right after "[" negates only when a member follows). "**" is
// refused rather than read differently from what a user may expect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/PathRules.h"

namespace qzx {

/// How a file system compares names: the case rule and the separators.
struct IgnoreSyntax {
    /// ASCII letters compare without regard to case. Other characters, non-ASCII letters
    /// included, always compare exactly: "É" and "é" differ even on Windows.
    bool foldCase = false;
    /// "\" separates components as "/" does. "/" always separates; without this "\" is an
    /// ordinary character of a name.
    bool backslashSeparates = false;
};

/// The rules of this system's file systems: Windows' where the separator is "\" (case folded,
/// both separators), Linux' elsewhere (exact case, "/" only).
inline constexpr IgnoreSyntax kSystemIgnoreSyntax{kPathSeparator == '\\', kPathSeparator == '\\'};

/// What a path names, as far as the caller knows.
enum class PathKind { kFile, kFolder, kUnknown };

/// Why a pattern cannot be used.
enum class PatternProblem {
    kUnclosedBracket,  // a "[" without its "]" in the same component
    kEmptyPattern,     // nothing to match: only "!", separators or blanks
    kDoubleStar,       // "**", which this syntax does not have
    kDotName,          // a "." or ".." component, which never occurs in a watched path
    kReversedRange,    // "[z-a]": a range whose start comes after its end
};

/// A line of a pattern list that cannot be used.
struct PatternError {
    /// Counted from 1.
    int line = 0;
    PatternProblem problem = PatternProblem::kEmptyPattern;
    /// The line as written, its line end removed.
    std::string text;
};

/// The lines of a pattern text: split at LF, the CR of a CR LF dropped, a UTF-8 byte order mark
/// at the start dropped; a last line without its LF counts, an empty text has no lines.
std::vector<std::string> PatternLines(std::string_view text);

/// A pattern that matches exactly this one name (no separators): "*", "?", "[" and any CR are
/// put in brackets, and so are a blank at either end and a "!" or "#" at the start; an LF, which
/// no line can hold, becomes "?".
std::string LiteralNamePattern(std::string_view name);

/// A compiled pattern list. Build it on one thread, then share it: the const functions may be
/// called from any number of threads at once, and none of them allocates for paths of up to
/// 64 components.
class IgnoreRules {
  public:
    explicit IgnoreRules(IgnoreSyntax syntax = kSystemIgnoreSyntax);

    /// Adds one line of a pattern list: blank and "#" lines add nothing, "!" makes an exception.
    /// Returns the problem when the line cannot be used, and then adds nothing.
    std::optional<PatternProblem> AddLine(std::string_view line);
    /// Adds a pattern as a command-line option gives it: "!" and "#" are parts of the name here,
    /// exception says whether it keeps rather than ignores. Blanks at either end are dropped.
    std::optional<PatternProblem> AddPattern(std::string_view pattern, bool exception);
    /// Adds every line, numbered from 1; returns the lines that cannot be used, in order (the
    /// others are added all the same, so the caller decides whether to go on with them).
    std::vector<PatternError> AddLines(const std::vector<std::string>& lines);

    /// True when no rule was added: then nothing is ever ignored.
    bool Empty() const { return rules.empty(); }
    std::size_t Size() const { return rules.size(); }
    IgnoreSyntax Syntax() const { return syntax; }

    /// True when the change of path is to be left out. path is relative to the watched folder,
    /// as a ChangeRecord names it (raw bytes; empty components are skipped); the watched folder
    /// itself (an empty path) is never ignored. With kind kUnknown a folder-only rule applies to
    /// the last component as if it were a folder: a deleted "build" is taken for the folder.
    bool Ignores(std::string_view path, PathKind kind) const;
    /// True when a rename from oldPath to newPath is to be left out: only when both names are
    /// ignored, since moving a file out of an ignored name, or into one, is a real change.
    bool IgnoresRename(std::string_view oldPath, std::string_view newPath, PathKind kind) const;
    /// True when nothing at or below the folder can ever be kept, so it need not be watched:
    /// the folder is ignored, and no later exception could match a path below it. An exception
    /// by name ("!keep.tmp") after the rule that ignores the folder keeps it watched; an
    /// exception by path keeps it watched when its leading components match the folder's path.
    bool SkipsFolder(std::string_view folder) const;

  private:
    // One character class: ASCII members in a bitmap, others as code point ranges.
    struct CharSet {
        bool negated = false;
        std::uint64_t ascii[2] = {0, 0};
        std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    };
    struct Token {
        enum Type : std::uint8_t { kLiteral, kOne, kStar, kSet };
        Type type;
        // A literal's bytes in Glob::text, or a set's index in Glob::sets.
        std::uint32_t begin;
        std::uint32_t length;
    };
    // One component's pattern. Most lists hold exact names, "*.ext" and "prefix*", which are
    // compared without the general matcher.
    struct Glob {
        enum class Form : std::uint8_t { kExact, kAny, kSuffix, kPrefix, kPrefixSuffix, kGeneral };
        Form form = Form::kGeneral;
        // Literal bytes, ASCII folded to lower case when the syntax folds; for the prefix and
        // suffix forms the prefix, then the suffix.
        std::string text;
        std::uint32_t prefixLength = 0;
        std::uint32_t minLength = 0;
        std::vector<Token> tokens;
        std::vector<CharSet> sets;
    };
    struct Rule {
        bool exception = false;
        bool folderOnly = false;
        // Compared component by component from the watched folder, rather than with any name.
        bool anchored = false;
        std::vector<Glob> globs;
    };
    class Pieces;

    std::optional<PatternProblem> Compile(std::string_view pattern, bool exception);
    std::optional<PatternProblem> CompileGlob(std::string_view component, Glob& glob) const;
    bool Matches(const Glob& glob, std::string_view name) const;
    bool AppliesFromTop(const Rule& rule, const Pieces& path, PathKind kind) const;
    bool CouldMatchBelow(const Rule& rule, const Pieces& folder) const;
    // The index of the last rule that applies, -1 when none does.
    int DecidingRule(const Pieces& path, PathKind kind) const;

    // The name rules by the byte a matching name must end or begin with, and the rest, each in
    // the order of the lines: a name is compared with the few rules that could match it.
    void Index(std::uint32_t rule);
    void Consider(const std::vector<std::uint32_t>& candidates, std::string_view name,
                  bool lastIsFile, int& best) const;

    IgnoreSyntax syntax;
    std::vector<Rule> rules;
    std::vector<std::uint32_t> byLastByte[256];
    std::vector<std::uint32_t> byFirstByte[256];
    std::vector<std::uint32_t> byNoByte;
    std::vector<std::uint32_t> anchoredRules;
};

}  // namespace qzx
