// Row texts: formats that the log and the export read back, so they never change.
#include "watch/EventRow.h"

#include "watch/ChangeRecord.h"

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

const char* ChangeTypeName(int action) {
    switch (action) {
        case kActionAdded:
            return "新增";
        case kActionRemoved:
            return "删除";
        case kActionModified:
            return "修改";
        case kActionRenamedOld:
        case kActionRenamedNew:
            return "命名";
        default:
            return "其他";
    }
}

std::string IdText(const EventRow& row) { return std::to_string(row.id); }

std::string TimeText(const EventRow& row) {
    std::string t = std::to_string(row.hour);
    t += ':';
    t += std::to_string(row.minute);
    t += ':';
    t += std::to_string(row.second);
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
        default:
            return {};
    }
}

std::string FieldText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string LogText(const EventRow& row) {
    std::string text = IdText(row);
    text += '\t';
    text += ChangeTypeName(row.action);
    text += '\t';
    text += FieldText(row.details);
    return text;
}

}  // namespace qzx
