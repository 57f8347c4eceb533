// Export of the event list to a tab-separated GBK file. The window asks for the path on its own
// thread and does the building and writing on a worker, so that a long list never freezes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Clock.h"
#include "base/Gbk.h"
#include "records/FileSystem.h"
#include "watch/EventRow.h"

namespace qzx {

/// The chosen path with ".log" appended when its file name (not its folder) has no ".".
std::string WithExportExtension(std::string_view path);

/// Any thread: the export file's text in UTF-8 with "\n" line ends: the header, an empty line,
/// then one line per row, oldest first, each dated with the day on which it was recorded (a row
/// without a date with exportDay). Names are kept to one field.
std::string BuildExportText(const std::vector<EventRow>& rowsOldestFirst, LocalTime exportDay);

/// Any thread: the bytes of the export file made directly from the rows in one pass: the text of
/// BuildExportText, encoded by encode, with CR LF line ends.
std::string BuildExportBytes(const std::vector<EventRow>& rowsOldestFirst, LocalTime exportDay,
                             EncodeAppend encode);

/// Any thread: a UTF-8 text with "\n" line ends as file bytes, encoded, with CR LF line ends.
std::string EncodeFileText(std::string_view utf8Text, EncodeAppend encode);

/// Any thread: writes a UTF-8 text as the whole file, encoded with CR LF line ends, replacing it
/// at once. 1 on success; 0 for an empty path or any failure, an existing file then unchanged.
int WriteTextFile(FileSystem& files, const std::string& path, std::string_view utf8Text,
                  EncodeAppend encode);

/// Any thread: the bytes of BuildExportBytes, made and written piece by piece as one replacement
/// of the file (see WriteTextFile); 1 on success, 0 on failure.
int WriteExportFile(FileSystem& files, const std::string& path,
                    const std::vector<EventRow>& rowsOldestFirst, LocalTime exportDay,
                    EncodeAppend encode);

}  // namespace qzx
