// The export's rules. The building runs over up to a million rows, so it formats numbers in
// place and hands only non-ASCII text to the encoder.
#include "records/RecordExport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "base/Clock.h"
#include "base/PathRules.h"
#include "records/DailyLog.h"
#include "records/RecordTexts.h"

namespace qzx {
namespace {

void AppendText(std::string& out, std::string_view text, EncodeAppend encode) {
    if (encode == nullptr) {
        out.append(text);
        return;
    }
    encode(text, out);
}

void ClassifyBytes(std::string_view bytes, bool& control, bool& ascii) {
    for (char c : bytes) {
        control |= c == '\t' || c == '\r' || c == '\n';
        ascii &= static_cast<unsigned char>(c) < 0x80;
    }
}

// Whether the text holds a tab or a line end, which FieldText escapes, and whether it is all
// ASCII. Eight bytes at a time, since this runs over every path: only a word with a byte below
// 0x20 is looked at byte by byte.
void Classify(std::string_view text, bool& control, bool& ascii) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    control = false;
    ascii = true;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        ascii &= (word & kHigh) == 0;
        // Set in a byte below 0x20, and perhaps in the bytes above one; never otherwise.
        if (((word - kOnes * 0x20) & ~word & kHigh) != 0) {
            ClassifyBytes(text.substr(i, 8), control, ascii);
        }
    }
    ClassifyBytes(text.substr(i), control, ascii);
}

// The details column, kept to one field and encoded; most paths need neither step.
void AppendDetails(std::string& out, const std::string& details, EncodeAppend encode) {
    bool control = false;
    bool ascii = true;
    Classify(details, control, ascii);
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

// One writer for the text and the bytes, so that the two can never disagree. It hands out the
// file in pieces, so that a million rows need not be held twice.
class ExportWriter {
  public:
    ExportWriter(const std::vector<EventRow>& rows, const LocalTime& undatedDay,
                 EncodeAppend encode, std::string_view lineEnd)
        : rows_(rows), undatedDay_(undatedDay), encode_(encode), lineEnd_(lineEnd) {
        // The type names are constants: encode them once, not once per row.
        for (int action = 0; action < 6; ++action) {
            AppendText(typeNames_[static_cast<size_t>(action)], ChangeTypeName(action), encode);
            longestTypeName_ = std::max(longestTypeName_, typeNames_[action].size());
        }
    }

    // Appends the header on the first call, then rows until out has grown by at least budget
    // bytes; false once the last row is in.
    bool Next(std::string& out, size_t budget) {
        const size_t start = out.size();
        if (!headerDone_) {
            AppendText(out, kExportHeader, encode_);
            out.append(lineEnd_);
            out.append(lineEnd_);
            headerDone_ = true;
        }
        while (next_ < rows_.size() && out.size() - start < budget) AppendRow(rows_[next_++], out);
        return next_ < rows_.size();
    }

  private:
    void AppendRow(const EventRow& row, std::string& out) {
        const LocalTime rowDay = row.year != 0 ? RecordedAt(row) : undatedDay_;
        // Rows come in runs of one day: the date is formatted again only when it changes.
        if (rowDay.year != prefixDay_.year || rowDay.month != prefixDay_.month ||
            rowDay.day != prefixDay_.day || datePrefix_.empty()) {
            prefixDay_ = rowDay;
            datePrefix_ = DayText(rowDay) + " ";
            head_.resize(12 + datePrefix_.size() + kTimeOfDayTextMax + longestTypeName_ + 3);
        }
        // The fields before the details go out in one append: per row, appends add up.
        char* const start = &head_[0];
        char* p = std::to_chars(start, start + 12, static_cast<unsigned>(row.id)).ptr;
        *p++ = '\t';
        p = std::copy(datePrefix_.begin(), datePrefix_.end(), p);
        p = WriteTimeOfDayText(row.hour, row.minute, row.second, p);
        *p++ = '\t';
        const std::string& type = typeNames_[row.action >= 1 && row.action <= 5 ? row.action : 0];
        p = std::copy(type.begin(), type.end(), p);
        *p++ = '\t';
        out.append(start, p);
        AppendDetails(out, row.details, encode_);
        out.append(lineEnd_);
    }

    const std::vector<EventRow>& rows_;
    const LocalTime undatedDay_;
    const EncodeAppend encode_;
    const std::string_view lineEnd_;
    std::array<std::string, 6> typeNames_;
    size_t longestTypeName_ = 0;
    std::string datePrefix_;
    std::string head_;
    LocalTime prefixDay_{0, 0, 0};
    size_t next_ = 0;
    bool headerDone_ = false;
};

std::string BuildExport(const std::vector<EventRow>& rows, const LocalTime& undatedDay,
                        EncodeAppend encode, std::string_view lineEnd) {
    size_t size = 64;
    for (const EventRow& row : rows) size += row.details.size() + 40;
    std::string out;
    out.reserve(size);
    ExportWriter(rows, undatedDay, encode, lineEnd).Next(out, SIZE_MAX);
    return out;
}

// What the export hands the file system at a time: small enough to stay in the processor's
// cache between being made and being copied to the file, large enough to keep the system calls
// few.
constexpr size_t kExportPieceBytes = 256 * 1024;

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
    ExportWriter writer(rowsOldestFirst, exportDay, encode, "\r\n");
    return files.ReplaceFileInPieces(
        path, [&writer](std::string& out) { return writer.Next(out, kExportPieceBytes); });
}

}  // namespace qzx
