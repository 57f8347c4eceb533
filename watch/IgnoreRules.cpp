// The ignore patterns compiled once, then matched on the recording thread for every change of a
// burst: a path is split into components once, in place, and each rule's components are
// compared without building any string.
#include "watch/IgnoreRules.h"

#include <cstring>

namespace qzx {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::uint32_t FoldedValue(std::uint32_t v) { return v >= 'A' && v <= 'Z' ? v - 'A' + 'a' : v; }

// text is already folded when fold is set.
bool SameBytes(const char* name, const char* text, std::size_t length, bool fold) {
    if (!fold) return std::memcmp(name, text, length) == 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (Folded(name[i]) != text[i]) return false;
    }
    return true;
}

struct Char {
    std::uint32_t value;
    std::uint32_t length;
};

// Code points above Unicode's range stand for bytes that begin no valid sequence, so that a
// name that is not UTF-8 still matches byte for byte and "?" takes one such byte.
constexpr std::uint32_t kRawByte = 0x110000;

// The character at i: one UTF-8 sequence, or a single byte that starts none.
Char CharAt(std::string_view s, std::size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return {b, 1};
    const Char raw{kRawByte + b, 1};
    std::uint32_t length = 0;
    std::uint32_t value = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        value = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        value = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        value = b & 0x07u;
    } else {
        return raw;
    }
    if (i + length > s.size()) return raw;
    for (std::uint32_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return raw;
        value = (value << 6) | (c & 0x3Fu);
    }
    return {value, length};
}

// An ASCII byte or the lead byte of a multibyte sequence.
bool StartsACharacter(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x80 || b >= 0xC0;
}

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }

}  // namespace

std::vector<std::string> PatternLines(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
    }
    return lines;
}

std::string LiteralNamePattern(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 8);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool atEnd = i == 0 || i + 1 == name.size();
        const bool bracketed = c == '*' || c == '?' || c == '[' || c == '\r' ||
                               ((c == ' ' || c == '\t') && atEnd) ||
                               ((c == '!' || c == '#') && i == 0);
        if (c == '\n') {
            out += '?';
        } else if (bracketed) {
            out += '[';
            out += c;
            out += ']';
        } else {
            out += c;
        }
    }
    return out;
}

// The components of a path, found once per query. Up to kInline of them live in the object
// itself, so a query allocates nothing for any path a real tree holds.
class IgnoreRules::Pieces {
  public:
    Pieces(std::string_view path, bool backslashSeparates) : path(path) {
        const std::size_t n = path.size();
        std::size_t i = 0;
        while (i < n) {
            const std::size_t end = backslashSeparates ? FindEither(i) : FindSlash(i);
            if (end > i) Push(i, end - i);
            i = end + 1;
        }
    }

    static bool IsSeparator(char c, bool backslashSeparates) {
        return c == '/' || (c == '\\' && backslashSeparates);
    }

    std::size_t Size() const { return count; }
    std::string_view operator[](std::size_t k) const {
        const Piece& p = k < kInline ? inlinePieces[k] : more[k - kInline];
        return path.substr(p.begin, p.length);
    }

  private:
    std::size_t FindSlash(std::size_t from) const {
        const void* at = std::memchr(path.data() + from, '/', path.size() - from);
        return at == nullptr ? path.size() : static_cast<const char*>(at) - path.data();
    }
    std::size_t FindEither(std::size_t from) const {
        while (from < path.size() && path[from] != '/' && path[from] != '\\') ++from;
        return from;
    }

    struct Piece {
        std::size_t begin;
        std::size_t length;
    };
    static constexpr std::size_t kInline = 64;

    void Push(std::size_t begin, std::size_t length) {
        if (count < kInline) {
            inlinePieces[count] = {begin, length};
        } else {
            more.push_back({begin, length});
        }
        ++count;
    }

    std::string_view path;
    Piece inlinePieces[kInline];
    std::vector<Piece> more;
    std::size_t count = 0;
};

IgnoreRules::IgnoreRules(IgnoreSyntax syntax) : syntax(syntax) {}

std::optional<PatternProblem> IgnoreRules::AddLine(std::string_view line) {
    const std::string_view text = Trimmed(line);
    if (text.empty() || text.front() == '#') return std::nullopt;
    if (text.front() == '!') return Compile(text.substr(1), true);
    return Compile(text, false);
}

std::optional<PatternProblem> IgnoreRules::AddPattern(std::string_view pattern, bool exception) {
    return Compile(pattern, exception);
}

std::vector<PatternError> IgnoreRules::AddLines(const std::vector<std::string>& lines) {
    std::vector<PatternError> errors;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto problem = AddLine(lines[i])) {
            errors.push_back({static_cast<int>(i + 1), *problem, lines[i]});
        }
    }
    return errors;
}

std::optional<PatternProblem> IgnoreRules::Compile(std::string_view pattern, bool exception) {
    const bool backslash = syntax.backslashSeparates;
    std::string_view text = Trimmed(pattern);
    Rule rule;
    rule.exception = exception;
    if (!text.empty() && Pieces::IsSeparator(text.back(), backslash)) rule.folderOnly = true;
    while (!text.empty() && Pieces::IsSeparator(text.back(), backslash)) text.remove_suffix(1);
    if (!text.empty() && Pieces::IsSeparator(text.front(), backslash)) rule.anchored = true;

    const Pieces components(text, backslash);
    if (components.Size() == 0) return PatternProblem::kEmptyPattern;
    if (components.Size() > 1) rule.anchored = true;
    rule.globs.resize(components.Size());
    for (std::size_t k = 0; k < components.Size(); ++k) {
        if (IsDotName(components[k])) return PatternProblem::kDotName;
        if (const auto problem = CompileGlob(components[k], rule.globs[k])) return problem;
    }
    rules.push_back(std::move(rule));
    Index(static_cast<std::uint32_t>(rules.size() - 1));
    return std::nullopt;
}

void IgnoreRules::Index(std::uint32_t r) {
    const Rule& rule = rules[r];
    if (rule.anchored) {
        anchoredRules.push_back(r);
        return;
    }
    // The glob's text is folded already, as the names' bytes are when they are looked up.
    const Glob& glob = rule.globs.front();
    const auto first = static_cast<unsigned char>(glob.text.empty() ? 0 : glob.text.front());
    const auto last = static_cast<unsigned char>(glob.text.empty() ? 0 : glob.text.back());
    switch (glob.form) {
        case Glob::Form::kExact:
        case Glob::Form::kSuffix:
        case Glob::Form::kPrefixSuffix:
            byLastByte[last].push_back(r);
            return;
        case Glob::Form::kPrefix:
            byFirstByte[first].push_back(r);
            return;
        case Glob::Form::kAny:
        case Glob::Form::kGeneral:
            byNoByte.push_back(r);
            return;
    }
}

std::optional<PatternProblem> IgnoreRules::CompileGlob(std::string_view component,
                                                       Glob& glob) const {
    const bool fold = syntax.foldCase;
    const std::size_t n = component.size();
    auto addLiteral = [&](char c) {
        if (glob.tokens.empty() || glob.tokens.back().type != Token::kLiteral) {
            glob.tokens.push_back(
                {Token::kLiteral, static_cast<std::uint32_t>(glob.text.size()), 0});
        }
        glob.text += fold ? Folded(c) : c;
        ++glob.tokens.back().length;
    };
    for (std::size_t i = 0; i < n;) {
        const char c = component[i];
        if (c == '*') {
            if (i + 1 < n && component[i + 1] == '*') return PatternProblem::kDoubleStar;
            glob.tokens.push_back({Token::kStar, 0, 0});
            ++i;
            continue;
        }
        if (c == '?') {
            glob.tokens.push_back({Token::kOne, 0, 0});
            ++i;
            continue;
        }
        if (c != '[') {
            addLiteral(c);
            ++i;
            continue;
        }
        CharSet set;
        std::size_t j = i + 1;
        // "[!]" is the "!" itself: negation needs a member after it.
        if (j + 1 < n && (component[j] == '!' || component[j] == '^') && component[j + 1] != ']') {
            set.negated = true;
            ++j;
        }
        bool first = true;
        for (;;) {
            if (j >= n) return PatternProblem::kUnclosedBracket;
            if (component[j] == ']' && !first) break;
            first = false;
            const Char low = CharAt(component, j);
            j += low.length;
            std::uint32_t high = low.value;
            if (j + 1 < n && component[j] == '-' && component[j + 1] != ']') {
                const Char end = CharAt(component, j + 1);
                j += 1 + end.length;
                high = end.value;
                if (high < low.value) return PatternProblem::kReversedRange;
            }
            for (std::uint32_t v = low.value; v <= high && v < 128; ++v) {
                const std::uint32_t bit = fold ? FoldedValue(v) : v;
                set.ascii[bit / 64] |= std::uint64_t{1} << (bit % 64);
            }
            if (high >= 128) set.ranges.push_back({low.value < 128 ? 128 : low.value, high});
        }
        glob.tokens.push_back({Token::kSet, static_cast<std::uint32_t>(glob.sets.size()), 0});
        glob.sets.push_back(std::move(set));
        i = j + 1;
    }

    // No name shorter than this can match: a byte for each character the pattern needs.
    for (const Token& token : glob.tokens) {
        glob.minLength += token.type == Token::kLiteral ? token.length
                          : token.type == Token::kStar  ? 0
                                                        : 1;
    }
    // The common shapes skip the general matcher.
    using T = Token;
    const auto& t = glob.tokens;
    auto is = [&](std::size_t k, T::Type type) { return t[k].type == type; };
    if (t.size() == 1 && is(0, T::kLiteral)) {
        glob.form = Glob::Form::kExact;
    } else if (t.size() == 1 && is(0, T::kStar)) {
        glob.form = Glob::Form::kAny;
    } else if (t.size() == 2 && is(0, T::kStar) && is(1, T::kLiteral)) {
        glob.form = Glob::Form::kSuffix;
    } else if (t.size() == 2 && is(0, T::kLiteral) && is(1, T::kStar)) {
        glob.form = Glob::Form::kPrefix;
        glob.prefixLength = t[0].length;
    } else if (t.size() == 3 && is(0, T::kLiteral) && is(1, T::kStar) && is(2, T::kLiteral)) {
        glob.form = Glob::Form::kPrefixSuffix;
        glob.prefixLength = t[0].length;
    }
    return std::nullopt;
}

bool IgnoreRules::Matches(const Glob& glob, std::string_view name) const {
    const bool fold = syntax.foldCase;
    const std::string& text = glob.text;
    switch (glob.form) {
        case Glob::Form::kExact:
            return name.size() == text.size() &&
                   SameBytes(name.data(), text.data(), text.size(), fold);
        case Glob::Form::kAny:
            return true;
        case Glob::Form::kSuffix:
            return name.size() >= text.size() && SameBytes(name.data() + name.size() - text.size(),
                                                           text.data(), text.size(), fold);
        case Glob::Form::kPrefix:
            return name.size() >= text.size() &&
                   SameBytes(name.data(), text.data(), text.size(), fold);
        case Glob::Form::kPrefixSuffix: {
            const std::size_t suffix = text.size() - glob.prefixLength;
            return name.size() >= text.size() &&
                   SameBytes(name.data(), text.data(), glob.prefixLength, fold) &&
                   SameBytes(name.data() + name.size() - suffix, text.data() + glob.prefixLength,
                             suffix, fold);
        }
        case Glob::Form::kGeneral:
            break;
    }
    if (name.size() < glob.minLength) return false;
    const Token& tail = glob.tokens.back();
    if (tail.type == Token::kLiteral && !SameBytes(name.data() + name.size() - tail.length,
                                                   text.data() + tail.begin, tail.length, fold)) {
        return false;
    }

    // A star matches as little as it can; on a mismatch the latest star takes one more
    // character and the rest is tried again. A later star never needs an earlier one to give
    // up more, so this is enough.
    const std::size_t n = name.size();
    const std::size_t count = glob.tokens.size();
    std::size_t t = 0;
    std::size_t s = 0;
    std::size_t starToken = count;
    std::size_t starFrom = 0;
    for (;;) {
        bool advanced = false;
        if (t < count) {
            const Token& token = glob.tokens[t];
            switch (token.type) {
                case Token::kStar:
                    starToken = t++;
                    starFrom = s;
                    continue;
                case Token::kLiteral:
                    if (n - s >= token.length &&
                        SameBytes(name.data() + s, text.data() + token.begin, token.length, fold)) {
                        s += token.length;
                        advanced = true;
                    }
                    break;
                case Token::kOne:
                    if (s < n) {
                        s += CharAt(name, s).length;
                        advanced = true;
                    }
                    break;
                case Token::kSet:
                    if (s < n) {
                        const Char c = CharAt(name, s);
                        const CharSet& set = glob.sets[token.begin];
                        bool member = false;
                        if (c.value < 128) {
                            const std::uint32_t v = fold ? FoldedValue(c.value) : c.value;
                            member = (set.ascii[v / 64] >> (v % 64)) & 1u;
                        } else {
                            for (const auto& range : set.ranges) {
                                if (c.value >= range.first && c.value <= range.second) {
                                    member = true;
                                    break;
                                }
                            }
                        }
                        if (member != set.negated) {
                            s += c.length;
                            advanced = true;
                        }
                    }
                    break;
            }
            if (advanced) {
                ++t;
                continue;
            }
        } else if (s == n) {
            return true;
        }
        if (starToken == count || starFrom >= n) return false;
        // A star that ends the pattern takes whatever is left; there is no literal after it.
        if (starToken + 1 == count) return true;
        starFrom += CharAt(name, starFrom).length;
        // Only where the literal after the star could start is worth trying. Its first byte
        // starts a character, so no place found is inside one.
        const Token& next = glob.tokens[starToken + 1];
        if (next.type == Token::kLiteral && StartsACharacter(text[next.begin])) {
            const char wanted = text[next.begin];
            while (starFrom < n && (fold ? Folded(name[starFrom]) : name[starFrom]) != wanted) {
                ++starFrom;
            }
            if (starFrom == n) return false;
        }
        s = starFrom;
        t = starToken + 1;
    }
}

bool IgnoreRules::AppliesFromTop(const Rule& rule, const Pieces& path, PathKind kind) const {
    const std::size_t n = path.Size();
    const std::size_t m = rule.globs.size();
    if (n < m) return false;
    if (n == m && rule.folderOnly && kind == PathKind::kFile) return false;
    for (std::size_t k = 0; k < m; ++k) {
        if (!Matches(rule.globs[k], path[k])) return false;
    }
    return true;
}

void IgnoreRules::Consider(const std::vector<std::uint32_t>& candidates, std::string_view name,
                           bool lastIsFile, int& best) const {
    for (std::size_t i = candidates.size(); i-- > 0;) {
        const std::uint32_t r = candidates[i];
        if (static_cast<int>(r) <= best) return;
        const Rule& rule = rules[r];
        if (lastIsFile && rule.folderOnly) continue;
        if (Matches(rule.globs.front(), name)) {
            best = static_cast<int>(r);
            return;
        }
    }
}

int IgnoreRules::DecidingRule(const Pieces& path, PathKind kind) const {
    const std::size_t n = path.Size();
    const bool fold = syntax.foldCase;
    int best = -1;
    for (std::size_t k = 0; k < n; ++k) {
        const std::string_view name = path[k];
        // The folders above the last component are folders whatever the kind says.
        const bool lastIsFile = k + 1 == n && kind == PathKind::kFile;
        const auto first = static_cast<unsigned char>(fold ? Folded(name.front()) : name.front());
        const auto last = static_cast<unsigned char>(fold ? Folded(name.back()) : name.back());
        Consider(byLastByte[last], name, lastIsFile, best);
        Consider(byFirstByte[first], name, lastIsFile, best);
        Consider(byNoByte, name, lastIsFile, best);
    }
    for (std::size_t i = anchoredRules.size(); i-- > 0;) {
        const std::uint32_t r = anchoredRules[i];
        if (static_cast<int>(r) <= best) break;
        if (AppliesFromTop(rules[r], path, kind)) return static_cast<int>(r);
    }
    return best;
}

bool IgnoreRules::Ignores(std::string_view path, PathKind kind) const {
    if (rules.empty()) return false;
    const Pieces pieces(path, syntax.backslashSeparates);
    if (pieces.Size() == 0) return false;
    const int deciding = DecidingRule(pieces, kind);
    return deciding >= 0 && !rules[static_cast<std::size_t>(deciding)].exception;
}

bool IgnoreRules::IgnoresRename(std::string_view oldPath, std::string_view newPath,
                                PathKind kind) const {
    return Ignores(oldPath, kind) && Ignores(newPath, kind);
}

bool IgnoreRules::CouldMatchBelow(const Rule& rule, const Pieces& folder) const {
    if (!rule.anchored) return true;
    const std::size_t m = folder.Size();
    // A shorter rule that matched would apply to the folder itself or a folder above it.
    if (rule.globs.size() <= m) return false;
    for (std::size_t k = 0; k < m; ++k) {
        if (!Matches(rule.globs[k], folder[k])) return false;
    }
    return true;
}

bool IgnoreRules::SkipsFolder(std::string_view folder) const {
    if (rules.empty()) return false;
    const Pieces pieces(folder, syntax.backslashSeparates);
    if (pieces.Size() == 0) return false;
    const int deciding = DecidingRule(pieces, PathKind::kFolder);
    if (deciding < 0 || rules[static_cast<std::size_t>(deciding)].exception) return false;
    // Every path below shares the rules that apply to the folder, the deciding one last; only a
    // later exception can bring something below back.
    for (std::size_t r = static_cast<std::size_t>(deciding) + 1; r < rules.size(); ++r) {
        if (rules[r].exception && CouldMatchBelow(rules[r], pieces)) return false;
    }
    return true;
}

}  // namespace qzx
