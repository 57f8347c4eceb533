// The export's rules. The building runs over up to a million rows, so it formats numbers in
// place and hands only non-ASCII text to the encoder.
#include "records/RecordExport.h"

#include <array>
#include <charconv>

#include "base/Clock.h"
#include "base/PathRules.h"
#include "records/DailyLog.h"
#include "records/RecordTexts.h"

namespace qzx {
namespace {

void AppendNumber(std::string& out, unsigned value) {
    char digits[12];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;
    out.append(digits, end);
}

void AppendText(std::string& out, std::string_view text, EncodeAppend encode) {
    if (encode == nullptr) {
        out.append(text);
        return;
    }
    encode(text, out);
}

// The details column, kept to one field and encoded; most paths need neither step.
void AppendDetails(std::string& out, const std::string& details, EncodeAppend encode) {
    bool control = false;
    bool ascii = true;
    for (char c : details) {
        control |= c == '\t' || c == '\r' || c == '\n';
        ascii &= static_cast<unsigned char>(c) < 0x80;
    }
    if (!control && (ascii || encode == nullptr)) {
        out.append(details);
        return;
    }
    const std::string field = control ? FieldText(details) : std::string();
    const std::string_view text = control ? std::string_view(field) : std::string_view(details);
    if (ascii) {
        out.append(text);
        return;
    }
    AppendText(out, text, encode);
}

// One writer for the text and the bytes, so that the two can never disagree.
std::string BuildExport(const std::vector<EventRow>& rows, const LocalTime& undatedDay,
                        EncodeAppend encode, std::string_view lineEnd) {
    // The type names are constants: encode them once, not once per row.
    std::array<std::string, 6> typeNames;
    for (int action = 0; action < 6; ++action) {
        AppendText(typeNames[action], ChangeTypeName(action), encode);
    }
    // Rows come in runs of one day: the date is formatted again only when it changes.
    std::string datePrefix;
    LocalTime prefixDay{0, 0, 0};

    size_t size = 64;
    for (const EventRow& row : rows) size += row.details.size() + 40;
    std::string out;
    out.reserve(size);

    AppendText(out, kExportHeader, encode);
    out.append(lineEnd);
    out.append(lineEnd);
    for (const EventRow& row : rows) {
        AppendNumber(out, static_cast<unsigned>(row.id));
        out += '\t';
        const LocalTime rowDay = row.year != 0 ? RecordedAt(row) : undatedDay;
        if (rowDay.year != prefixDay.year || rowDay.month != prefixDay.month ||
            rowDay.day != prefixDay.day || datePrefix.empty()) {
            prefixDay = rowDay;
            datePrefix = DayText(rowDay) + " ";
        }
        out.append(datePrefix);
        AppendTimeOfDayText(row.hour, row.minute, row.second, out);
        out += '\t';
        out.append(typeNames[row.action >= 1 && row.action <= 5 ? row.action : 0]);
        out += '\t';
        AppendDetails(out, row.details, encode);
        out.append(lineEnd);
    }
    return out;
}

}  // namespace

std::string WithExportExtension(std::string_view path) {
    // Only the file name decides: "out" in the folder "old.files" still needs its extension.
    const size_t separator = path.rfind(kPathSeparator);
    const std::string_view name =
        separator == std::string_view::npos ? path : path.substr(separator + 1);
    std::string result(path);
    if (name.find('.') == std::string_view::npos) result += kExportExtension;
    return result;
}

std::string BuildExportText(const std::vector<EventRow>& rowsOldestFirst, LocalTime exportDay) {
    return BuildExport(rowsOldestFirst, exportDay, nullptr, "\n");
}

std::string BuildExportBytes(const std::vector<EventRow>& rowsOldestFirst, LocalTime exportDay,
                             EncodeAppend encode) {
    return BuildExport(rowsOldestFirst, exportDay, encode, "\r\n");
}

std::string EncodeFileText(std::string_view utf8Text, EncodeAppend encode) {
    std::string out;
    out.reserve(utf8Text.size() + utf8Text.size() / 16);
    while (!utf8Text.empty()) {
        const size_t end = utf8Text.find('\n');
        const std::string_view line = utf8Text.substr(0, end);
        AppendText(out, line, encode);
        if (end == std::string_view::npos) break;
        out += "\r\n";
        utf8Text.remove_prefix(end + 1);
    }
    return out;
}

int WriteTextFile(FileSystem& files, const std::string& path, std::string_view utf8Text,
                  EncodeAppend encode) {
    if (path.empty()) return 0;
    return files.ReplaceFile(path, EncodeFileText(utf8Text, encode));
}

int WriteExportFile(FileSystem& files, const std::string& path,
                    const std::vector<EventRow>& rowsOldestFirst, LocalTime exportDay,
                    EncodeAppend encode) {
    if (path.empty()) return 0;
    return files.ReplaceFile(path, BuildExportBytes(rowsOldestFirst, exportDay, encode));
}

}  // namespace qzx
