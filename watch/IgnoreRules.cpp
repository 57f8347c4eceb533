// The ignore patterns compiled once, then matched on the recording thread for every change of a
// burst: a path is split into components once, in place, and each rule's components are
// compared without building any string.
#include "watch/IgnoreRules.h"

#include <cstring>

namespace qzx {
namespace {

// Spaces at the end go, unless a "\" keeps the one after it; tabs and the rest stay.
std::string_view WithoutTrailingSpaces(std::string_view text) {
    std::size_t end = text.size();
    std::size_t spacesFrom = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') {
            if (spacesFrom == std::string_view::npos) spacesFrom = i;
        } else if (text[i] == '\\') {
            ++i;
            spacesFrom = std::string_view::npos;
        } else {
            spacesFrom = std::string_view::npos;
        }
    }
    if (spacesFrom != std::string_view::npos) end = spacesFrom;
    return text.substr(0, end);
}

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The members of a named class, ASCII only as the C locale has them.
bool ClassHas(std::string_view name, int c, bool& known) {
    known = true;
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    const bool digit = c >= '0' && c <= '9';
    const bool print = c >= 0x20 && c < 0x7F;
    if (name == "alnum") return upper || lower || digit;
    if (name == "alpha") return upper || lower;
    if (name == "blank") return c == ' ' || c == '\t';
    if (name == "cntrl") return c < 0x20 || c == 0x7F;
    if (name == "digit") return digit;
    if (name == "graph") return print && c != ' ';
    if (name == "lower") return lower;
    if (name == "print") return print;
    if (name == "punct") return print && c != ' ' && !upper && !lower && !digit;
    if (name == "space") return c == ' ' || (c >= '\t' && c <= '\r');
    if (name == "upper") return upper;
    if (name == "xdigit") return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    known = false;
    return false;
}

// The components of a pattern, split at every "/"; an escaped "/" separates too, as it matches
// the separator of a path. Empty components are kept: they match nothing.
std::vector<std::string_view> PatternComponents(std::string_view text, std::string& storage) {
    storage.clear();
    storage.reserve(text.size());
    std::vector<std::size_t> ends;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            if (text[i + 1] == '/') {
                ends.push_back(storage.size());
            } else {
                storage += text[i];
                storage += text[i + 1];
            }
            ++i;
        } else if (text[i] == '/') {
            ends.push_back(storage.size());
        } else {
            storage += text[i];
        }
    }
    ends.push_back(storage.size());
    std::vector<std::string_view> components;
    std::size_t from = 0;
    for (const std::size_t end : ends) {
        components.emplace_back(std::string_view(storage).substr(from, end - from));
        from = end;
    }
    return components;
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
    const std::size_t lastNonSpace = name.find_last_not_of(' ');
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool trailingSpace =
            c == ' ' && (lastNonSpace == std::string_view::npos || i > lastNonSpace);
        if (c == '\n') {
            out += '?';
        } else if (c == '\r') {
            // An escaped CR at the end of a line would lose its CR to the line end.
            out += "[\r]";
        } else if (c == '*' || c == '?' || c == '[' || c == '\\' || trailingSpace ||
                   ((c == '!' || c == '#') && i == 0)) {
            out += '\\';
            out += c;
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

IgnoreRules::IgnoreRules(IgnoreSyntax syntax) : syntax(syntax) { bases.emplace_back(); }

std::optional<PatternProblem> IgnoreRules::AddLine(std::string_view line) {
    const std::size_t before = rules.size();
    const auto problem = AddRule(line, Reading::kUser, 0);
    if (rules.size() > before) sources.push_back({IgnoreSource::Type::kLine, std::string(line)});
    return problem;
}

std::optional<PatternProblem> IgnoreRules::AddPattern(std::string_view pattern, bool exception) {
    const auto problem = Compile(pattern, exception, Reading::kUser, 0);
    if (!problem) {
        sources.push_back(
            {exception ? IgnoreSource::Type::kException : IgnoreSource::Type::kPattern,
             std::string(pattern)});
    }
    return problem;
}

bool IgnoreRules::AddSource(const IgnoreSource& source) {
    switch (source.type) {
        case IgnoreSource::Type::kLine: {
            const std::size_t before = rules.size();
            AddLine(source.text);
            return rules.size() > before;
        }
        case IgnoreSource::Type::kPattern:
        case IgnoreSource::Type::kException:
            return !AddPattern(source.text, source.type == IgnoreSource::Type::kException);
        case IgnoreSource::Type::kTreeFile:
            AddTreeFile({}, source.text);
            return true;
        case IgnoreSource::Type::kTreeLine: {
            if (bases.size() < 2) return false;
            const std::size_t before = rules.size();
            AddRule(source.text, Reading::kTree, static_cast<std::uint32_t>(bases.size() - 1));
            if (rules.size() == before) return false;
            sources.push_back(source);
            return true;
        }
    }
    return false;
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

void IgnoreRules::AddTreeFile(const std::vector<std::string>& lines, std::string_view folder) {
    const Pieces pieces(folder, syntax.backslashSeparates);
    std::vector<std::string> components;
    for (std::size_t k = 0; k < pieces.Size(); ++k) {
        std::string name(pieces[k]);
        if (syntax.foldCase) {
            for (char& c : name) c = Folded(c);
        }
        components.push_back(std::move(name));
    }
    const auto base = static_cast<std::uint32_t>(bases.size());
    bases.push_back(std::move(components));
    sources.push_back({IgnoreSource::Type::kTreeFile, std::string(folder)});
    for (const std::string& line : lines) {
        const std::size_t before = rules.size();
        AddRule(line, Reading::kTree, base);
        if (rules.size() > before) sources.push_back({IgnoreSource::Type::kTreeLine, line});
    }
}

void IgnoreRules::Append(const IgnoreRules& other) {
    sources.insert(sources.end(), other.sources.begin(), other.sources.end());
    const auto offset = static_cast<std::uint32_t>(bases.size());
    bases.insert(bases.end(), other.bases.begin(), other.bases.end());
    for (Rule rule : other.rules) {
        rule.base += offset;
        rules.push_back(std::move(rule));
        Index(static_cast<std::uint32_t>(rules.size() - 1));
    }
}

std::optional<PatternProblem> IgnoreRules::AddRule(std::string_view line, Reading reading,
                                                   std::uint32_t base) {
    if (line.empty() || line.front() == '#') return std::nullopt;
    std::string_view text = WithoutTrailingSpaces(line);
    if (text.empty()) return std::nullopt;
    const bool exception = text.front() == '!';
    if (exception) text.remove_prefix(1);
    return Compile(text, exception, reading, base);
}

std::optional<PatternProblem> IgnoreRules::Compile(std::string_view text, bool exception,
                                                   Reading reading, std::uint32_t base) {
    Rule rule;
    rule.exception = exception;
    rule.base = base;
    rule.baseDepth = static_cast<std::uint32_t>(bases[base].size());
    if (!text.empty() && text.back() == '/') {
        rule.folderOnly = true;
        text.remove_suffix(1);
    }
    if (text.empty()) return PatternProblem::kEmptyPattern;
    rule.anchored = text.find('/') != std::string_view::npos;
    if (text.front() == '/') text.remove_prefix(1);

    std::string storage;
    const std::vector<std::string_view> components = PatternComponents(text, storage);
    rule.globs.resize(components.size());
    for (std::size_t k = 0; k < components.size(); ++k) {
        const std::string_view component = components[k];
        if (component.empty()) return PatternProblem::kEmptyPattern;
        if (IsDotName(component)) return PatternProblem::kDotName;
        if (rule.anchored && component.size() >= 2 &&
            component.find_first_not_of('*') == std::string_view::npos) {
            rule.globs[k].anyDepth = true;
            rule.anyDepth = true;
            continue;
        }
        if (const auto problem = CompileGlob(component, reading, rule.globs[k])) return problem;
    }
    // "**/name" is "name": it matches at any depth below the list's folder.
    if (rule.globs.size() == 2 && rule.globs[0].anyDepth && !rule.globs[1].anyDepth) {
        rule.globs.erase(rule.globs.begin());
        rule.anchored = false;
        rule.anyDepth = false;
    }
    rules.push_back(std::move(rule));
    Index(static_cast<std::uint32_t>(rules.size() - 1));
    return std::nullopt;
}

void IgnoreRules::Index(std::uint32_t r) {
    const Rule& rule = rules[r];
    if (rule.anchored) {
        if (rule.anyDepth) {
            anyDepthRules.push_back(r);
            return;
        }
        const std::size_t depth = rule.baseDepth + rule.globs.size();
        if (anchoredByDepth.size() <= depth) anchoredByDepth.resize(depth + 1);
        anchoredByDepth[depth].push_back(r);
        return;
    }
    // The glob's text is folded already, as the names' bytes are when they are looked up.
    const Glob& glob = rule.globs.front();
    const auto first = static_cast<unsigned char>(glob.text.empty() ? 0 : glob.text.front());
    const auto last = static_cast<unsigned char>(glob.text.empty() ? 0 : glob.text.back());
    NameCandidate candidate{r, rule.baseDepth, rule.folderOnly, glob};
    switch (glob.form) {
        case Glob::Form::kExact:
        case Glob::Form::kSuffix:
        case Glob::Form::kPrefixSuffix:
            byLastByte[last].push_back(std::move(candidate));
            return;
        case Glob::Form::kPrefix:
            byFirstByte[first].push_back(std::move(candidate));
            return;
        case Glob::Form::kAny:
        case Glob::Form::kGeneral:
            byNoByte.push_back(std::move(candidate));
            return;
    }
}

std::optional<PatternProblem> IgnoreRules::CompileGlob(std::string_view component, Reading reading,
                                                       Glob& glob) const {
    const bool fold = syntax.foldCase;
    const bool user = reading == Reading::kUser;
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
        if (c == '\\') {
            if (i + 1 >= n) return PatternProblem::kTrailingBackslash;
            if (user && IsAsciiAlnum(component[i + 1])) return PatternProblem::kBackslashLetter;
            addLiteral(component[i + 1]);
            i += 2;
            continue;
        }
        if (c == '*') {
            // A run of stars within a name is one star.
            if (glob.tokens.empty() || glob.tokens.back().type != Token::kStar) {
                glob.tokens.push_back({Token::kStar, 0, 0});
            }
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
        std::optional<PatternProblem> problem;
        const std::size_t end = ReadSet(component, i, set, problem);
        if (problem && *problem == PatternProblem::kUnclosedBracket && user && i + 2 < n &&
            (component[i + 1] == '!' || component[i + 1] == '^') && component[i + 2] == ']') {
            // Lists written before sets could be negated take "[!]" for "!".
            addLiteral(component[i + 1]);
            i += 3;
            continue;
        }
        if (problem && (user || *problem != PatternProblem::kReversedRange)) return problem;
        glob.tokens.push_back({Token::kSet, static_cast<std::uint32_t>(glob.sets.size()), 0});
        glob.sets.push_back(std::move(set));
        i = end;
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

std::size_t IgnoreRules::ReadSet(std::string_view p, std::size_t at, CharSet& set,
                                 std::optional<PatternProblem>& problem) const {
    const bool fold = syntax.foldCase;
    const std::size_t n = p.size();
    auto add = [&](std::uint32_t low, std::uint32_t high) {
        for (std::uint32_t v = low; v <= high && v < 128; ++v) {
            const std::uint32_t bit = fold ? FoldedValue(v) : v;
            set.ascii[bit / 64] |= std::uint64_t{1} << (bit % 64);
        }
        if (high >= 128) set.ranges.push_back({low < 128 ? 128 : low, high});
    };
    std::size_t j = at + 1;
    if (j < n && (p[j] == '!' || p[j] == '^')) {
        set.negated = true;
        ++j;
    }
    // The character a "-" after it starts a range from; none after a range or a class.
    constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    std::uint32_t previous = kNone;
    // A "]" first of all is a member, not the end.
    for (bool first = true;; first = false) {
        if (j >= n) {
            problem = PatternProblem::kUnclosedBracket;
            return n;
        }
        if (p[j] == ']' && !first) return j + 1;
        if (p[j] == '\\') {
            if (++j >= n) {
                problem = PatternProblem::kUnclosedBracket;
                return n;
            }
            const Char c = CharAt(p, j);
            add(c.value, c.value);
            previous = c.value;
            j += c.length;
            continue;
        }
        if (p[j] == '-' && previous != kNone && j + 1 < n && p[j + 1] != ']') {
            ++j;
            if (p[j] == '\\' && ++j >= n) {
                problem = PatternProblem::kUnclosedBracket;
                return n;
            }
            const Char end = CharAt(p, j);
            j += end.length;
            if (end.value < previous) {
                if (!problem) problem = PatternProblem::kReversedRange;
            } else {
                add(previous, end.value);
            }
            previous = kNone;
            continue;
        }
        if (p[j] == '[' && j + 1 < n && p[j + 1] == ':') {
            const std::size_t close = p.find(']', j + 2);
            if (close == std::string_view::npos) {
                problem = PatternProblem::kUnclosedBracket;
                return n;
            }
            if (close < j + 3 || p[close - 1] != ':') {
                // No ":]": the "[" is a member like any other.
                add('[', '[');
                previous = '[';
                ++j;
                continue;
            }
            const std::string_view name = p.substr(j + 2, close - 1 - (j + 2));
            bool known = false;
            for (int c = 0; c < 128; ++c) {
                if (ClassHas(name, c, known)) add(static_cast<std::uint32_t>(c), c);
                if (!known) {
                    problem = PatternProblem::kUnknownClass;
                    return n;
                }
            }
            previous = kNone;
            j = close + 1;
            continue;
        }
        const Char c = CharAt(p, j);
        add(c.value, c.value);
        previous = c.value;
        j += c.length;
    }
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

bool IgnoreRules::InBase(const Rule& rule, const Pieces& path) const {
    const std::vector<std::string>& base = bases[rule.base];
    for (std::size_t k = 0; k < base.size(); ++k) {
        const std::string_view name = path[k];
        if (name.size() != base[k].size() ||
            !SameBytes(name.data(), base[k].data(), name.size(), syntax.foldCase)) {
            return false;
        }
    }
    return true;
}

bool IgnoreRules::MatchesFrom(const Rule& rule, std::size_t g, const Pieces& path, std::size_t k,
                              std::size_t end) const {
    for (; g < rule.globs.size(); ++g, ++k) {
        const Glob& glob = rule.globs[g];
        if (glob.anyDepth) {
            // At the end it needs something inside; elsewhere it may stand for no folder.
            if (g + 1 == rule.globs.size()) return k < end;
            for (std::size_t from = k; from <= end; ++from) {
                if (MatchesFrom(rule, g + 1, path, from, end)) return true;
            }
            return false;
        }
        if (k == end || !Matches(glob, path[k])) return false;
    }
    return k == end;
}

bool IgnoreRules::RuleMatches(const Rule& rule, const Pieces& path, std::size_t depth,
                              PathKind kind) const {
    if (depth <= rule.baseDepth) return false;
    if (rule.folderOnly && kind == PathKind::kFile) return false;
    if (!rule.anchored) return Matches(rule.globs.front(), path[depth - 1]) && InBase(rule, path);
    if (!rule.anyDepth && depth - rule.baseDepth != rule.globs.size()) return false;
    return InBase(rule, path) && MatchesFrom(rule, 0, path, rule.baseDepth, depth);
}

void IgnoreRules::Consider(const std::vector<NameCandidate>& candidates, std::string_view name,
                           const Pieces& path, std::size_t depth, bool lastIsFile,
                           int& best) const {
    const bool fold = syntax.foldCase;
    for (std::size_t i = candidates.size(); i-- > 0;) {
        const NameCandidate& candidate = candidates[i];
        const std::uint32_t r = candidate.rule;
        if (static_cast<int>(r) <= best) return;
        if ((lastIsFile && candidate.folderOnly) || candidate.baseDepth >= depth) continue;
        const Glob& glob = candidate.glob;
        // The two commonest forms, compared here without a call.
        if (glob.form == Glob::Form::kSuffix || glob.form == Glob::Form::kExact) {
            const std::size_t length = glob.text.size();
            if (name.size() < length ||
                (glob.form == Glob::Form::kExact && name.size() != length) ||
                !SameBytes(name.data() + name.size() - length, glob.text.data(), length, fold)) {
                continue;
            }
        } else if (!Matches(glob, name)) {
            continue;
        }
        if (candidate.baseDepth == 0 || InBase(rules[r], path)) {
            best = static_cast<int>(r);
            return;
        }
    }
}

int IgnoreRules::DecidingRule(const Pieces& path, std::size_t depth, PathKind kind,
                              std::uint64_t alive) const {
    const bool fold = syntax.foldCase;
    const std::string_view name = path[depth - 1];
    const bool lastIsFile = kind == PathKind::kFile;
    const auto first = static_cast<unsigned char>(fold ? Folded(name.front()) : name.front());
    const auto last = static_cast<unsigned char>(fold ? Folded(name.back()) : name.back());
    int best = -1;
    if (!byLastByte[last].empty()) Consider(byLastByte[last], name, path, depth, lastIsFile, best);
    if (!byFirstByte[first].empty()) {
        Consider(byFirstByte[first], name, path, depth, lastIsFile, best);
    }
    if (!byNoByte.empty()) Consider(byNoByte, name, path, depth, lastIsFile, best);
    if (anchoredByDepth.empty() && anyDepthRules.empty()) return best;
    auto scan = [&](const std::vector<std::uint32_t>& candidates, std::uint64_t skip) {
        for (std::size_t i = candidates.size(); i-- > 0;) {
            const std::uint32_t r = candidates[i];
            if (static_cast<int>(r) <= best) return;
            if (i < 64 && ((skip >> i) & 1u) != 0) continue;
            if (RuleMatches(rules[r], path, depth, kind)) {
                best = static_cast<int>(r);
                return;
            }
        }
    };
    if (depth < anchoredByDepth.size()) scan(anchoredByDepth[depth], 0);
    scan(anyDepthRules, ~alive);
    return best;
}

bool IgnoreRules::Ignores(std::string_view path, PathKind kind) const {
    if (rules.empty()) return false;
    const Pieces pieces(path, syntax.backslashSeparates);
    const std::size_t n = pieces.Size();
    // A "**" rule's first component is compared with the same name at every depth: once is
    // enough.
    std::uint64_t alive = ~std::uint64_t{0};
    for (std::size_t i = 0; i < anyDepthRules.size() && i < 64; ++i) {
        const Rule& rule = rules[anyDepthRules[i]];
        const Glob& first = rule.globs.front();
        if (n <= rule.baseDepth || (!first.anyDepth && !Matches(first, pieces[rule.baseDepth])) ||
            !InBase(rule, pieces)) {
            alive &= ~(std::uint64_t{1} << i);
        }
    }
    // Each folder on the way down is decided before what is inside it: once one is ignored,
    // nothing below it comes back.
    for (std::size_t depth = 1; depth <= n; ++depth) {
        const int deciding =
            DecidingRule(pieces, depth, depth < n ? PathKind::kFolder : kind, alive);
        if (deciding >= 0 && !rules[static_cast<std::size_t>(deciding)].exception) return true;
    }
    return false;
}

bool IgnoreRules::IgnoresByScan(std::string_view path, PathKind kind) const {
    const Pieces pieces(path, syntax.backslashSeparates);
    const std::size_t n = pieces.Size();
    for (std::size_t depth = 1; depth <= n; ++depth) {
        for (std::size_t r = rules.size(); r-- > 0;) {
            if (!RuleMatches(rules[r], pieces, depth, depth < n ? PathKind::kFolder : kind)) {
                continue;
            }
            if (!rules[r].exception) return true;
            break;
        }
    }
    return false;
}

bool IgnoreRules::IgnoresRename(std::string_view oldPath, std::string_view newPath,
                                PathKind kind) const {
    return Ignores(oldPath, kind) && Ignores(newPath, kind);
}

}  // namespace qzx
