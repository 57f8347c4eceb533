// Ignore patterns: which changes below the watched folder are left out before they become rows,
// and which folders need not be watched at all.
//
// The syntax is git's ignore-file syntax, one pattern a line:
//   *.tmp  ~$*  *.sw?  a pattern without "/" (other than at its end) is compared with the name of
//                      the path and of every folder above it ("*" any run of characters, "?" one
//                      character, "[abc]" "[a-z]" "[[:digit:]]" one of a set, "[!abc]" "[^abc]"
//                      none of it);
//   build/             a trailing "/": only a folder;
//   /build  docs/*.md  a "/" at the start or inside: a path from the list's folder, where "*",
//                      "?" and sets stay within one name;
//   **/x  a/**  a/**/b "**" between separators: any number of folders, everything inside, or
//                      zero or more folders between;
//   !keep.tmp          an exception: keeps what earlier lines ignore, unless a folder above the
//                      path is ignored (nothing below an ignored folder comes back);
//   \#x  \!x  \*  "\ "  "\" takes the next character as itself;
//   # comment          blank lines and lines starting with "#" say nothing; spaces at the end
//                      of a line are dropped unless escaped, and nothing else is trimmed.
// Of the lines that match a path, the last decides. On Windows too "/" is the separator in a
// pattern and "\" escapes; paths are split at either separator there.
// The differences from git are deliberate: a character is one UTF-8 code point, where git counts
// bytes; in the user's own lists (not in a tree's .gitignore files, read as git reads them) a
// line git would silently never match is refused with its reason, "\" before a letter or digit
// is refused (a list written when "\" separated on Windows must not change its meaning
// quietly), and "[!]" and "[^]" where no "]" closes them stand for "!" and "^" as lists written
// before this syntax had them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/PathRules.h"
#include "watch/PathKind.h"

namespace qzx {

/// How a file system compares names: the case rule and the separators of paths.
struct IgnoreSyntax {
    /// ASCII letters compare without regard to case. Other characters, non-ASCII letters
    /// included, always compare exactly: "É" and "é" differ even on Windows.
    bool foldCase = false;
    /// "\" separates the components of a path as "/" does (never in a pattern, where it
    /// escapes). Without this "\" is an ordinary character of a name.
    bool backslashSeparates = false;
};

/// The rules of this system's file systems: Windows' where the separator is "\" (case folded,
/// both separators), Linux' elsewhere (exact case, "/" only).
inline constexpr IgnoreSyntax kSystemIgnoreSyntax{kPathSeparator == '\\', kPathSeparator == '\\'};

/// Why a pattern cannot be used.
enum class PatternProblem {
    kUnclosedBracket,    // a "[" without its "]" in the same component
    kEmptyPattern,       // nothing to match: only "!", separators or blanks
    kTrailingBackslash,  // a "\" with nothing after it to escape
    kDotName,            // a "." or ".." component, which never occurs in a watched path
    kReversedRange,      // "[z-a]": a range whose start comes after its end
    kUnknownClass,       // "[[:word:]]": no such class
    kBackslashLetter,    // "\" before a letter or digit, which it would not change
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

/// A pattern that matches exactly this one name (no separators): "*", "?", "[" and "\" are
/// escaped, and so are spaces at the end and a "!" or "#" at the start; a CR is put in brackets
/// so that no line ends in one; an LF, which no line can hold, becomes "?".
std::string LiteralNamePattern(std::string_view name);

/// One line that added a rule, kept so that an equal list can be built elsewhere (the
/// administrator helper gets the window's rules this way).
struct IgnoreSource {
    enum class Type : std::uint8_t {
        kLine,       // AddLine
        kPattern,    // AddPattern, ignoring
        kException,  // AddPattern, keeping
        kTreeFile,   // AddTreeFile begins: text is the folder
        kTreeLine,   // a line of the tree file begun last
    };
    Type type = Type::kLine;
    std::string text;
};

/// A compiled pattern list. Build it on one thread, then share it: the const functions may be
/// called from any number of threads at once, and none of them allocates for paths of up to
/// 64 components.
class IgnoreRules {
  public:
    explicit IgnoreRules(IgnoreSyntax syntax = kSystemIgnoreSyntax);

    /// Adds one line of the user's list: blank and "#" lines add nothing, "!" makes an
    /// exception. Returns the problem when the line cannot be used, and then adds nothing.
    std::optional<PatternProblem> AddLine(std::string_view line);
    /// Adds a pattern as a command-line option gives it: "!" and "#" are parts of the name here,
    /// exception says whether it keeps rather than ignores.
    std::optional<PatternProblem> AddPattern(std::string_view pattern, bool exception);
    /// Adds every line, numbered from 1; returns the lines that cannot be used, in order (the
    /// others are added all the same, so the caller decides whether to go on with them).
    std::vector<PatternError> AddLines(const std::vector<std::string>& lines);
    /// Adds the lines of an ignore file found in the tree, read exactly as git reads it: its
    /// patterns apply below folder (relative to the watched folder, "" for the top, either
    /// separator), and a line git would never match adds nothing. Files are added shallow
    /// first, so that a deeper file's lines win, as later lines do.
    void AddTreeFile(const std::vector<std::string>& lines, std::string_view folder);
    /// Adds every rule of other after this list's own, so that they win over them.
    void Append(const IgnoreRules& other);

    /// What the list was built from, in order: only lines that added a rule, and every tree
    /// file. Adding them in order to an empty list of the same syntax builds an equal one.
    const std::vector<IgnoreSource>& Sources() const { return sources; }
    /// Adds one source as the call it names would; false when it adds nothing (a line that
    /// cannot be used, a tree line before any tree file).
    bool AddSource(const IgnoreSource& source);

    /// True when no rule was added: then nothing is ever ignored.
    bool Empty() const { return rules.empty(); }
    std::size_t Size() const { return rules.size(); }
    IgnoreSyntax Syntax() const { return syntax; }

    /// True when the change of path is to be left out: the last line that matches it is no
    /// exception, or a folder above it is left out. path is relative to the watched folder, as
    /// a ChangeRecord names it (raw bytes; empty components are skipped); the watched folder
    /// itself (an empty path) is never ignored. A folder-only rule takes a path of unknown kind
    /// (a deleted "build" whose kind nobody saw) for a folder.
    bool Ignores(std::string_view path, PathKind kind) const;
    /// True when a rename from oldPath to newPath is to be left out: only when both names are
    /// ignored, since moving a file out of an ignored name, or into one, is a real change.
    bool IgnoresRename(std::string_view oldPath, std::string_view newPath, PathKind kind) const;
    /// True when nothing at or below the folder can ever be kept, so it need not be watched:
    /// since nothing below an ignored folder comes back, that is the folder being ignored.
    bool SkipsFolder(std::string_view folder) const { return Ignores(folder, PathKind::kFolder); }
    /// Ignores decided the obvious way, every rule tried against every folder above the path
    /// in turn without the indexes: the check that the quick way decides the same.
    bool IgnoresByScan(std::string_view path, PathKind kind) const;

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
        // "**" alone between separators: any number of whole components.
        bool anyDepth = false;
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
        // Compared with the components below the list's folder, rather than with any name.
        bool anchored = false;
        // Some component is "**", so the rule may match paths of any depth.
        bool anyDepth = false;
        // The list's folder: an index in bases, and how many components it has.
        std::uint32_t base = 0;
        std::uint32_t baseDepth = 0;
        std::vector<Glob> globs;
    };
    // A name rule as its index holds it: what the comparison needs, side by side, so that the
    // few rules a name is compared with are read from one place.
    struct NameCandidate {
        std::uint32_t rule;
        std::uint32_t baseDepth;
        bool folderOnly;
        Glob glob;
    };
    class Pieces;
    // How a line is read: the user's lists refuse what git would quietly never match.
    enum class Reading { kUser, kTree };

    std::optional<PatternProblem> AddRule(std::string_view line, Reading reading,
                                          std::uint32_t base);
    std::optional<PatternProblem> Compile(std::string_view pattern, bool exception, Reading reading,
                                          std::uint32_t base);
    std::optional<PatternProblem> CompileGlob(std::string_view component, Reading reading,
                                              Glob& glob) const;
    // Reads the set that starts with the "[" at at; returns where it ends. A problem that
    // stops it (no "]", no such class) leaves the set unusable; a reversed range is left out.
    std::size_t ReadSet(std::string_view pattern, std::size_t at, CharSet& set,
                        std::optional<PatternProblem>& problem) const;
    bool Matches(const Glob& glob, std::string_view name) const;
    bool InBase(const Rule& rule, const Pieces& path) const;
    bool MatchesFrom(const Rule& rule, std::size_t g, const Pieces& path, std::size_t k,
                     std::size_t end) const;
    // Whether the rule matches the first depth components of path, whose last has kind.
    bool RuleMatches(const Rule& rule, const Pieces& path, std::size_t depth, PathKind kind) const;
    // The index of the last rule that matches the first depth components, -1 when none does.
    // alive: bit i clear when anyDepthRules[i] (of the first 64) cannot match this path at any
    // depth, its first component failing already.
    int DecidingRule(const Pieces& path, std::size_t depth, PathKind kind,
                     std::uint64_t alive) const;

    // The name rules by the byte a matching name must end or begin with, and the rest, each in
    // the order of the lines: a name is compared with the few rules that could match it. The
    // anchored rules by the depth they match at, those with "**" apart.
    void Index(std::uint32_t rule);
    void Consider(const std::vector<NameCandidate>& candidates, std::string_view name,
                  const Pieces& path, std::size_t depth, bool lastIsFile, int& best) const;

    IgnoreSyntax syntax;
    std::vector<IgnoreSource> sources;
    std::vector<Rule> rules;
    // The folders of the tree's files, as components (folded when the syntax folds); the
    // first is the top.
    std::vector<std::vector<std::string>> bases;
    std::vector<NameCandidate> byLastByte[256];
    std::vector<NameCandidate> byFirstByte[256];
    std::vector<NameCandidate> byNoByte;
    std::vector<std::vector<std::uint32_t>> anchoredByDepth;
    std::vector<std::uint32_t> anyDepthRules;
};

}  // namespace qzx
