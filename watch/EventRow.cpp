// Row texts: formats that the log and the export read back, so they never change.
#include "watch/EventRow.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>

#include "watch/ChangeKind.h"

namespace qzx {

void SetRecordedAt(EventRow& row, const LocalTime& when) {
    row.year = static_cast<std::uint16_t>(when.year);
    row.month = static_cast<std::uint8_t>(when.month);
    row.day = static_cast<std::uint8_t>(when.day);
    row.hour = static_cast<std::uint8_t>(when.hour);
    row.minute = static_cast<std::uint8_t>(when.minute);
    row.second = static_cast<std::uint8_t>(when.second);
}

LocalTime RecordedAt(const EventRow& row) {
    return {row.year, row.month, row.day, row.hour, row.minute, row.second};
}

const char* ChangeTypeName(int action) { return InfoOf(KindOfAction(action)).typeName; }

std::string IdText(const EventRow& row) { return std::to_string(row.id); }

std::string TimeText(const EventRow& row) {
    std::string t;
    AppendTimeOfDayText(row.hour, row.minute, row.second, t);
    return t;
}

std::string ColumnText(const EventRow& row, int column) {
    switch (column) {
        case 0:
            return IdText(row);
        case 1:
            return TimeText(row);
        case 2:
            return ChangeTypeName(row.action);
        case 3:
            return row.details;
        case kProcessColumn:
            return row.process ? ProcessLabel(*row.process) : std::string();
        default:
            return {};
    }
}

namespace {

bool BreaksAField(char c) { return c == '\t' || c == '\r' || c == '\n'; }

// Bytes before the first TAB, CR or LF. Runs for every log line of a burst, so it looks at
// eight bytes at a time for any below 14, which a path almost never holds.
size_t FieldPrefix(std::string_view s) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighs = 0x8080808080808080u;
    size_t i = 0;
    for (std::uint64_t word; i + 8 <= s.size(); i += 8) {
        std::memcpy(&word, s.data() + i, 8);
        if ((word - kOnes * 14) & ~word & kHighs) break;
    }
    while (i < s.size() && !BreaksAField(s[i])) ++i;
    return i;
}

void AppendField(std::string& out, std::string_view text) {
    for (;;) {
        const size_t clean = FieldPrefix(text);
        out.append(text.data(), clean);
        if (clean == text.size()) return;
        const char c = text[clean];
        out += c == '\t' ? "\\t" : c == '\r' ? "\\r" : "\\n";
        text.remove_prefix(clean + 1);
    }
}

}  // namespace

std::string FieldText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendField(out, text);
    return out;
}

std::string LogText(const EventRow& row) {
    const char* type = ChangeTypeName(row.action);
    std::string text;
    text.reserve(16 + std::char_traits<char>::length(type) + row.details.size());
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, row.id).ptr;
    text.append(digits, end);
    text += '\t';
    text += type;
    text += '\t';
    AppendField(text, row.details);
    return text;
}

void SetRenameDetails(EventRow& row, std::string_view folder, std::string_view oldName,
                      std::string_view newName) {
    std::string& details = row.details;
    details.clear();
    details.reserve(folder.size() * 2 + oldName.size() + newName.size() + kRenameMarker.size());
    details += folder;
    details += oldName;
    details += kRenameMarker;
    row.newPathAt = static_cast<std::uint64_t>(details.size()) <= UINT32_MAX
                        ? static_cast<std::uint32_t>(details.size())
                        : 0;
    details += folder;
    details += newName;
}

bool HasNewPath(const EventRow& row) {
    // An offset that the details cannot hold (a row put together by hand) names one path.
    return row.newPathAt >= kRenameMarker.size() && row.newPathAt <= row.details.size();
}

std::string_view OldPathOf(const EventRow& row) {
    const std::string_view details = row.details;
    return HasNewPath(row) ? details.substr(0, row.newPathAt - kRenameMarker.size()) : details;
}

std::string_view NewPathOf(const EventRow& row) {
    return HasNewPath(row) ? std::string_view(row.details).substr(row.newPathAt)
                           : std::string_view();
}

std::string FolderOfPath(std::string_view path, char separator) {
    // In UTF-8 an ASCII separator byte never sits inside a multibyte character, so a plain byte
    // search is the character-aware search.
    const size_t last = path.rfind(separator);
    if (last == std::string_view::npos) return std::string(path);
    // A file right below the root of an absolute path would otherwise give an empty folder,
    // which opens nothing; the root itself is the folder then.
    if (last == 0) return std::string(1, separator);
    return std::string(path.substr(0, last));
}

std::string FolderOfRow(const EventRow& row, char separator) {
    return FolderOfPath(OldPathOf(row), separator);
}

}  // namespace qzx
