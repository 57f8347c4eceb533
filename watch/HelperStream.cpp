// The helper's lines, written and read.
#include "watch/HelperStream.h"

#include <limits>

namespace qzx {
namespace {

bool NeedsEscape(unsigned char c) { return c < 0x20 || c == 0x7F || c == '%'; }

void AppendField(std::string& line, std::string_view field) {
    static const char kHex[] = "0123456789ABCDEF";
    line += '\t';
    for (char ch : field) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (NeedsEscape(c)) {
            line += '%';
            line += kHex[c >> 4];
            line += kHex[c & 15];
        } else {
            line += ch;
        }
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A field as written: every escape well formed and needed, no raw byte that needed one.
std::optional<std::string> Unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        if (c != '%') {
            if (NeedsEscape(c)) return std::nullopt;
            out += field[i];
            continue;
        }
        if (field.size() - i < 3) return std::nullopt;
        const int high = HexDigit(field[i + 1]);
        const int low = HexDigit(field[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        const unsigned char value = static_cast<unsigned char>(high * 16 + low);
        if (!NeedsEscape(value)) return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

// A decimal number without sign or leading zero, at most max.
std::optional<std::uint64_t> Number(std::string_view text, std::uint64_t max) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (digit > max || value > (max - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

bool IsAbsoluteClean(std::string_view path) {
    return path.size() > 1 && path.front() == '/' && IsPathBelow(path.substr(1)) &&
           path.back() != '/';
}

}  // namespace

bool IsPathBelow(std::string_view path) {
    if (path.empty() || path.front() == '/') return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view part = path.substr(start, slash - start);
        if (part.empty() || part == "." || part == ".." ||
            part.find('\0') != std::string_view::npos) {
            return false;
        }
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

std::string HelperEngineLine(const EngineStatus& engine) {
    std::string line = "engine";
    AppendField(line, engine.knowsProcess ? "1" : "0");
    AppendField(line, engine.summary);
    AppendField(line, engine.fallbackReason);
    return line + "\n";
}

std::string HelperChangeLine(const ChangeRecord& record, const ChangeRecord* renamedFrom,
                             std::int64_t timeMs) {
    const bool rename = record.action == kActionRenamedNew;
    if (rename != (renamedFrom != nullptr) || record.action == kActionRenamedOld) return {};
    if (record.action < kActionAdded || record.action > kActionOther) return {};
    if (!IsPathBelow(record.name) || (rename && !IsPathBelow(renamedFrom->name))) return {};
    if (timeMs < 0) timeMs = 0;
    std::string line = "change";
    AppendField(line, std::to_string(record.action));
    AppendField(line, std::to_string(timeMs));
    const ProcessInfo none;
    const ProcessInfo& process = record.process ? *record.process : none;
    AppendField(line, std::to_string(process.pid > 0 ? process.pid : 0));
    AppendField(line, process.pid > 0 ? process.name : "");
    AppendField(line, process.pid > 0 ? process.exe : "");
    AppendField(line, record.name);
    AppendField(line, rename ? renamedFrom->name : "");
    line += "\n";
    return line.size() <= kHelperLineMax ? line : std::string();
}

std::string HelperWarningLine(WatchWarning warning, const std::string& path) {
    std::string line = "warning";
    AppendField(line, warning == WatchWarning::WatchLimit ? "1" : "0");
    AppendField(line, path);
    return line + "\n";
}

std::optional<HelperMessage> ParseHelperLine(std::string_view line) {
    if (line.size() >= kHelperLineMax) return std::nullopt;
    const std::vector<std::string_view> f = Split(line);
    HelperMessage m;
    if (f[0] == "ready" && f.size() == 1) {
        m.kind = HelperMessage::Kind::Ready;
        return m;
    }
    if (f[0] == "overflow" && f.size() == 1) {
        m.kind = HelperMessage::Kind::Overflow;
        return m;
    }
    if (f[0] == "rules" && f.size() == 1) {
        m.kind = HelperMessage::Kind::Rules;
        return m;
    }
    if (f[0] == "ended" && f.size() == 1) {
        m.kind = HelperMessage::Kind::Ended;
        return m;
    }
    std::vector<std::string> v;
    for (std::size_t i = 1; i < f.size(); ++i) {
        std::optional<std::string> field = Unescape(f[i]);
        if (!field) return std::nullopt;
        v.push_back(std::move(*field));
    }
    if (f[0] == "engine" && v.size() == 3) {
        if (v[0] != "0" && v[0] != "1") return std::nullopt;
        m.kind = HelperMessage::Kind::Engine;
        m.engine.knowsProcess = v[0] == "1";
        m.engine.engine = m.engine.knowsProcess ? ChangeEngine::Fanotify : ChangeEngine::Inotify;
        m.engine.summary = v[1];
        m.engine.fallbackReason = v[2];
        return m;
    }
    if (f[0] == "warning" && v.size() == 2) {
        if ((v[0] != "0" && v[0] != "1") || !IsPathBelow(v[1])) return std::nullopt;
        m.kind = HelperMessage::Kind::Warning;
        m.warning = v[0] == "1" ? WatchWarning::WatchLimit : WatchWarning::UnreadableFolder;
        m.path = v[1];
        return m;
    }
    if (f[0] != "change" || v.size() != 7) return std::nullopt;
    const auto action = Number(v[0], kActionOther);
    const auto time =
        Number(v[1], static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()));
    const auto pid = Number(v[2], static_cast<std::uint64_t>(std::numeric_limits<int>::max()));
    if (!action || *action < kActionAdded || *action == kActionRenamedOld || !time || !pid) {
        return std::nullopt;
    }
    const bool rename = *action == kActionRenamedNew;
    if (!IsPathBelow(v[5]) || rename != !v[6].empty() || (rename && !IsPathBelow(v[6]))) {
        return std::nullopt;
    }
    // A process is its PID at least; a name or program without one is made up.
    if (*pid == 0 && (!v[3].empty() || !v[4].empty())) return std::nullopt;
    if (!v[4].empty() && !IsAbsoluteClean(v[4])) return std::nullopt;
    m.kind = HelperMessage::Kind::Change;
    m.timeMs = static_cast<std::int64_t>(*time);
    std::shared_ptr<const ProcessInfo> process;
    if (*pid > 0) {
        process = std::make_shared<const ProcessInfo>(
            ProcessInfo{static_cast<int>(*pid), std::move(v[3]), std::move(v[4])});
    }
    if (rename) {
        m.records.emplace_back(kActionRenamedOld, std::move(v[6]));
        m.records.back().process = process;
    }
    m.records.emplace_back(static_cast<int>(*action), std::move(v[5]));
    m.records.back().process = process;
    return m;
}

std::string HelperRulesBlock(const IgnoreRules* rules) {
    static const std::string kNone = "rules\nend\n";
    if (!rules) return kNone;
    std::string block = "rules\n";
    std::size_t lines = 2;
    for (const IgnoreSource& source : rules->Sources()) {
        std::string line;
        switch (source.type) {
            case IgnoreSource::Type::kLine:
                line = "line";
                break;
            case IgnoreSource::Type::kPattern:
                line = "pattern\t0";
                break;
            case IgnoreSource::Type::kException:
                line = "pattern\t1";
                break;
            case IgnoreSource::Type::kTreeFile:
                line = "tree";
                break;
            case IgnoreSource::Type::kTreeLine:
                line = "treeline";
                break;
        }
        AppendField(line, source.text);
        if (line.size() >= kHelperLineMax || ++lines > kHelperRulesMaxLines) return kNone;
        block += line;
        block += '\n';
    }
    block += "end\n";
    return block.size() <= kHelperRulesMaxBytes ? block : kNone;
}

std::vector<HelperRulesRead> HelperRulesReader::Read(std::string_view in) {
    std::vector<HelperRulesRead> out;
    while (!in.empty()) {
        const std::size_t nl = in.find('\n');
        const std::string_view piece = in.substr(0, nl);
        in = nl == std::string_view::npos ? std::string_view() : in.substr(nl + 1);
        if (buffered.size() + piece.size() >= kHelperLineMax) {
            buffered.clear();
            if (!skipping) Refuse("a line longer than " + std::to_string(kHelperLineMax), out);
            skipping = nl == std::string_view::npos;
            continue;
        }
        if (nl == std::string_view::npos) {
            if (!skipping) buffered.append(piece);
            break;
        }
        if (skipping) {
            skipping = false;
            continue;
        }
        buffered.append(piece);
        const std::string line = std::move(buffered);
        buffered.clear();
        Line(line, out);
    }
    return out;
}

void HelperRulesReader::Refuse(const std::string& why, std::vector<HelperRulesRead>& out) {
    out.push_back({nullptr, "rules refused at line " + std::to_string(lines) + ": " + why});
    inBlock = false;
    passingOver = true;
    pending.reset();
}

void HelperRulesReader::Line(std::string_view line, std::vector<HelperRulesRead>& out) {
    if (!inBlock) {
        if (line != "rules") {
            // After a refusal the rest of that block is passed over without a word.
            if (passingOver) return;
            lines = 1;
            return Refuse("expected \"rules\"", out);
        }
        passingOver = false;
        inBlock = true;
        lines = 1;
        bytes = line.size() + 1;
        pending = std::make_shared<IgnoreRules>();
        return;
    }
    ++lines;
    bytes += line.size() + 1;
    if (lines > kHelperRulesMaxLines || bytes > kHelperRulesMaxBytes) {
        Refuse("more than " + std::to_string(kHelperRulesMaxLines) + " lines or " +
                   std::to_string(kHelperRulesMaxBytes) + " bytes",
               out);
        return;
    }
    if (line == "end") {
        out.push_back({pending->Empty() ? nullptr : std::move(pending), ""});
        pending.reset();
        inBlock = false;
        return;
    }
    const std::vector<std::string_view> f = Split(line);
    std::vector<std::string> v;
    for (std::size_t i = 1; i < f.size(); ++i) {
        std::optional<std::string> field = Unescape(f[i]);
        if (!field) return Refuse("a bad escape", out);
        v.push_back(std::move(*field));
    }
    IgnoreSource source;
    if (f[0] == "line" && v.size() == 1) {
        source = {IgnoreSource::Type::kLine, v[0]};
    } else if (f[0] == "pattern" && v.size() == 2 && (v[0] == "0" || v[0] == "1")) {
        source = {v[0] == "1" ? IgnoreSource::Type::kException : IgnoreSource::Type::kPattern,
                  v[1]};
    } else if (f[0] == "tree" && v.size() == 1 && (v[0].empty() || IsPathBelow(v[0]))) {
        source = {IgnoreSource::Type::kTreeFile, v[0]};
    } else if (f[0] == "treeline" && v.size() == 1) {
        source = {IgnoreSource::Type::kTreeLine, v[0]};
    } else {
        return Refuse("not a line of a rules block", out);
    }
    // What the window sends added a rule there; a line that adds none here was not its.
    if (!pending->AddSource(source)) Refuse("a line that adds no rule", out);
}

HelperRequest ParseHelperArguments(const std::vector<std::string>& args, const char* pkexecUid) {
    HelperRequest request;
    if (args.size() != 2 || args[0] != "--folder") {
        request.error = "usage: qzxfile-helper --folder ABSOLUTE-FOLDER";
        return request;
    }
    const std::string& folder = args[1];
    std::string_view trimmed = folder;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
    if (folder.size() >= 4096 || folder.find('\0') != std::string::npos ||
        (trimmed != "/" && !IsAbsoluteClean(trimmed))) {
        request.error = "the folder must be an absolute path without \".\" or \"..\" parts";
        return request;
    }
    request.folder = std::string(trimmed);
    if (pkexecUid) {
        const auto uid = Number(pkexecUid, 0xFFFFFFFEu);
        if (!uid) {
            request.error = "PKEXEC_UID is not a user id";
            return request;
        }
        request.callerUid = static_cast<unsigned>(*uid);
    }
    return request;
}

}  // namespace qzx
