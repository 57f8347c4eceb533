// One recorded change as the list keeps it, and the texts shown for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Clock.h"
#include "base/PathRules.h"
#include "watch/ProcessInfo.h"

namespace qzx {

/// Stands between the old and the new path in a rename's details.
inline constexpr std::string_view kRenameMarker = " 命名为 ";

/// A row of the event list. The texts of its columns are made on demand, which keeps a
/// row small: the only text stored is the details, and a rename's two paths are read from it by
/// the offset beside it, never by looking for the marker, which a file name may hold too.
struct EventRow {
    int id = 0;
    /// The local date on which the change was recorded; year 0 when the row carries none.
    std::uint16_t year = 0;
    std::uint8_t month = 0;  // 1..12
    std::uint8_t day = 0;    // 1..31
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint8_t action = 0;  // a ChangeAction value
    std::uint8_t found = 0;   // a ChangeFound value
    /// Where a rename's new path starts in details, just after the marker; 0 for a row of one
    /// path. Set with SetRenameDetails; read with OldPathOf and NewPathOf.
    std::uint32_t newPathAt = 0;
    /// The full path, or for a rename: old path, " 命名为 ", new path. Raw bytes, UTF-8 expected.
    std::string details;
    /// The process that made the change, where the source knew it (shared with the record and
    /// the other rows of that process); empty otherwise. The log and the export leave it out:
    /// their four fields are relied on.
    std::shared_ptr<const ProcessInfo> process;
};

/// Stamps the row with the local date and time of day at which it was recorded.
void SetRecordedAt(EventRow& row, const LocalTime& when);
/// The local date and time of day at which the row was recorded (year 0 when it has no date).
LocalTime RecordedAt(const EventRow& row);

/// Type name of a change action, from kChangeKinds: 1 "新增", 2 "删除", 3 "修改", 4 and 5 "命名",
/// else "其他".
const char* ChangeTypeName(int action);

/// Column 0 "ID": the ID in decimal.
std::string IdText(const EventRow& row);
/// Column 1 "时间": hour:minute:second without leading zeros, as 9:5:3.
std::string TimeText(const EventRow& row);
/// One column of the event list: its title and its width in pixels in a fresh window.
struct EventColumn {
    const char* title;
    int width;
};
/// The event list's columns, in the order ColumnText numbers them; every front end shows these.
inline constexpr EventColumn kEventColumns[4] = {
    {"ID", 40}, {"时间", 60}, {"类型", 40}, {"详细", 393}};
/// Column 4, after those: the process behind each change. It exists only while the engine of
/// the run knows processes (EngineStatus::knowsProcess), so that a window watching by inotify
/// looks exactly as it always did; the log and the export never carry it.
inline constexpr int kProcessColumn = 4;
inline constexpr EventColumn kProcessEventColumn = {"进程", 110};

/// Text of column 0..3 (ID, time, type, details: the columns of kEventColumns) and of column 4
/// (ProcessLabel of the row's process; empty for a row without one); empty for another column.
std::string ColumnText(const EventRow& row, int column);
/// A text made safe for one field of a tab-separated line: TAB, CR and LF become the two
/// characters \t, \r and \n, so that one row always stays one line of four fields.
std::string FieldText(std::string_view text);
/// The text handed to the daily log: ID, type name and details joined by TABs.
std::string LogText(const EventRow& row);
/// Makes the row's details folder + oldName, the marker, folder + newName, and notes where the
/// new path starts. A rename whose new path would start past 4 GiB keeps one path.
void SetRenameDetails(EventRow& row, std::string_view folder, std::string_view oldName,
                      std::string_view newName);
/// Whether the row holds a rename's two paths.
bool HasNewPath(const EventRow& row);
/// The row's only path, or a rename's old one; a view into the row's details.
std::string_view OldPathOf(const EventRow& row);
/// A rename's new path (the watched folder alone for the half of a rename whose other half
/// never came); empty for a row of one path. A view into the row's details.
std::string_view NewPathOf(const EventRow& row);
/// The folder of a path (UTF-8): the text before its last separator, the root for a name right
/// below it, or the path unchanged when it has no separator.
std::string FolderOfPath(std::string_view path, char separator = kPathSeparator);
/// The folder a row opens: that of its only path, or of a rename's old one.
std::string FolderOfRow(const EventRow& row, char separator = kPathSeparator);

}  // namespace qzx
