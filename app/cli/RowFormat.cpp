#include "app/cli/RowFormat.h"

#include <cstdio>
#include <cstdlib>

#include "records/DailyLog.h"
#include "watch/ChangeRecord.h"

namespace qzx::cli {
namespace {

void AppendTwoDigits(int value, std::string& out) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

// Length of the valid UTF-8 sequence at the start of text, or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = b(0);
    std::size_t length = 0;
    unsigned min = 0;
    unsigned code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (b(i) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string IsoTimeText(const LocalTime& t, int utcOffsetMinutes) {
    std::string text = TimestampText(t);
    text[text.find(' ')] = 'T';
    const int offset = std::abs(utcOffsetMinutes);
    text += utcOffsetMinutes < 0 ? '-' : '+';
    AppendTwoDigits(offset / 60, text);
    text += ':';
    AppendTwoDigits(offset % 60, text);
    return text;
}

void AppendJsonString(std::string_view text, std::string& out) {
    out += '"';
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text[0]);
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(text);
            if (length == 0) {
                out += "\xEF\xBF\xBD";
                text.remove_prefix(1);
                continue;
            }
            out.append(text.data(), length);
            text.remove_prefix(length);
            continue;
        }
        text.remove_prefix(1);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

std::string ProcessField(const EventRow& row) {
    return row.process ? FieldText(ProcessLabel(*row.process)) : std::string();
}

void AppendRows(const std::vector<EventRow>& rows, const LocalTime& when, int utcOffsetMinutes,
                OutputForm form, bool withProcess, EncodeAppend gbk, std::string& out) {
    if (form == OutputForm::Json) {
        for (const EventRow& row : rows) AppendJsonRow(row, when, utcOffsetMinutes, out);
        return;
    }
    std::vector<std::string> texts;
    texts.reserve(rows.size());
    for (const EventRow& row : rows) {
        texts.push_back(LogText(row));
        if (withProcess) {
            // Always five fields, so that a script can take the fifth without counting them.
            texts.back() += '\t';
            texts.back() += ProcessField(row);
        }
    }
    const bool inGbk = form == OutputForm::GbkLines;
    out += LogLines(texts, when, inGbk ? gbk : nullptr, inGbk ? "\r\n" : "\n");
}

void AppendJsonRow(const EventRow& row, const LocalTime& when, int utcOffsetMinutes,
                   std::string& out) {
    out += "{\"id\":";
    out += std::to_string(row.id);
    out += ",\"time\":\"";
    out += IsoTimeText(when, utcOffsetMinutes);
    out += "\",\"kind\":";
    AppendJsonString(ChangeTypeName(row.action), out);
    out += ",\"path\":";
    AppendJsonString(OldPathOf(row), out);
    if (row.action == kActionRenamedOld || row.action == kActionRenamedNew) {
        out += ",\"newPath\":";
        AppendJsonString(NewPathOf(row), out);
    }
    if (row.found == kFoundCatchUp) out += ",\"found\":\"catch-up\"";
    if (row.found == kFoundRecovered) out += ",\"found\":\"recovery\"";
    if (row.process) {
        out += ",\"pid\":";
        out += std::to_string(row.process->pid);
        if (!row.process->name.empty()) {
            out += ",\"process\":";
            AppendJsonString(row.process->name, out);
        }
        if (!row.process->exe.empty()) {
            out += ",\"exe\":";
            AppendJsonString(row.process->exe, out);
        }
    }
    out += "}\n";
}

}  // namespace qzx::cli
