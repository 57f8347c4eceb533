// How qzxwatch prints a recorded change: a daily-log line or a JSON object per line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/cli/WatchArguments.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "watch/EventRow.h"

namespace qzx::cli {

/// ISO 8601 local time with its offset from UTC: 2026-12-07T09:05:03+08:00.
std::string IsoTimeText(const LocalTime& when, int utcOffsetMinutes);

/// A text as a JSON string literal, quotes included. Bytes that are not valid UTF-8 become
/// U+FFFD, since JSON text must be UTF-8.
void AppendJsonString(std::string_view text, std::string& out);

/// Appends one row as a JSON object and LF; a rename's paths are path and newPath. The keys pid,
/// process and exe come only with a row whose process is known, each only when known (process: its
/// name; exe: its program file).
void AppendJsonRow(const EventRow& row, const LocalTime& when, int utcOffsetMinutes,
                   std::string& out);

/// Appends the rows of one batch, recorded at when, in the given form, each with its line end:
/// UTF-8 lines end in LF, GBK lines are the log file's bytes (CR LF, text through gbk), JSON
/// objects end in LF. utcOffsetMinutes is used by the JSON form only. withProcess adds to each
/// line a fifth field, ProcessField; the JSON form has the process anyway.
void AppendRows(const std::vector<EventRow>& rows, const LocalTime& when, int utcOffsetMinutes,
                OutputForm form, bool withProcess, EncodeAppend gbk, std::string& out);

/// The process of a row as one field of a line: ProcessLabel, made safe by FieldText; empty
/// when the row has none.
std::string ProcessField(const EventRow& row);

}  // namespace qzx::cli
