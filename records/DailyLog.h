// The daily log: one line per recorded event, one GBK file per calendar day.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/Clock.h"
#include "base/Gbk.h"
#include "records/FileSystem.h"

namespace qzx {

/// Where a log may go. Both folders end with the path separator; either may be empty when the
/// system does not tell.
struct LogLocations {
    /// The folder of the running program's file.
    std::string moduleDirectory;
    /// The user's own log folder, used when the one beside the program is not writable.
    std::string userLogDirectory;
};

/// The running program's folder and the user's state folder (defined in the platform layer).
/// Any thread; reads the environment.
LogLocations SystemLogLocations();

/// The folder "log" inside moduleDirectory, ending with the separator; empty for an empty input.
std::string LogDirectoryBeside(std::string_view moduleDirectory);

/// Timestamp of a log line: 2026-12-07 09:05:03 (two digits for all but the year).
std::string TimestampText(const LocalTime& t);

/// Date of a log file's name and of the export's rows: 2026-12-7 (no leading zeros).
std::string DayText(const LocalTime& t);

/// Lines of the daily log for texts recorded at when: for each text the timestamp, a TAB, the
/// text encoded by encode (copied unchanged when encode is null) and lineEnd. Any thread.
std::string LogLines(const std::vector<std::string>& texts, const LocalTime& when,
                     EncodeAppend encode, std::string_view lineEnd = "\r\n");

/// The log writer. Construct it, call CreateLogDirectory once at start-up, then AppendLines from
/// the watcher thread; the counters may be read from any thread.
class DailyLog {
  public:
    /// Reads nothing from disk yet; logDirectory starts as the folder beside the program.
    DailyLog(const Clock& clock, FileSystem& files, LogLocations locations, EncodeAppend encode);
    virtual ~DailyLog() = default;
    DailyLog(const DailyLog&) = delete;
    DailyLog& operator=(const DailyLog&) = delete;

    /// Start-up step, before any AppendLines: makes the folder beside the program when missing
    /// and keeps it when writable; otherwise makes and uses the user's log folder. Returns 1
    /// when the folder in use is writable, 0 when neither is (lines will then fail).
    int CreateLogDirectory();

    /// Appends the LogLines of one batch, in GBK, to the file of when's day with one open, one
    /// write and one close, so that the file stays free between batches. Returns how many lines
    /// reached the file: all of them or, when any byte failed, none (the part written is taken
    /// back). Makes the log folder again when it has gone. One caller at a time.
    std::size_t AppendLines(const std::vector<std::string>& texts, const LocalTime& when);

    /// TimestampText for the clock's current time.
    std::string TimestampText() const;
    /// DayText for the clock's current date, the name of today's file without ".log".
    std::string TodayText() const;
    /// The running program's folder, ending with the separator.
    const std::string& ModuleDirectory() const { return locations.moduleDirectory; }
    /// As FileSystem::PathExistsAs.
    bool PathExistsAs(const std::string& path, bool asFolder) const;

    /// The folder the lines go to, ending with the separator: for the About box.
    const std::string& LogDirectory() const { return logDirectory; }
    /// True when the lines go to the user's folder because the program's folder is not writable.
    bool UsesUserDirectory() const { return logDirectory != LogDirectoryBeside(ModuleDirectory()); }
    /// Lines lost since start-up; any thread, so that the window can warn about it.
    int FailedLineCount() const { return failedLines.load(); }
    /// 1 when the latest batch was written, 0 when it was lost (1 before the first); any thread.
    int LastResult() const { return lastResult.load(); }

  private:
    std::size_t WriteLines(const LocalTime& when, const std::string& bytes, std::size_t lines);

    const Clock& clock;
    FileSystem& files;
    const LogLocations locations;
    const EncodeAppend encode;
    std::string logDirectory;
    std::string batchBytes;
    std::atomic<int> failedLines{0};
    std::atomic<int> lastResult{1};
};

}  // namespace qzx
