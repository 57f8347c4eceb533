// The log's rules: file names, line layout and where the folder is.
#include "records/DailyLog.h"

#include <charconv>
#include <utility>

#include "base/PathRules.h"

namespace qzx {
namespace {

void AppendNumber(std::string& out, int value, int minDigits) {
    char digits[16];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;
    for (auto n = end - digits; n < minDigits; ++n) out += '0';
    out.append(digits, end);
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != kPathSeparator) folder += kPathSeparator;
    return folder;
}

}  // namespace

std::string LogDirectoryBeside(std::string_view moduleDirectory) {
    if (moduleDirectory.empty()) return {};
    return WithSeparator(std::string(moduleDirectory)) + "log" + kPathSeparator;
}

std::string TimestampText(const LocalTime& t) {
    std::string text;
    text.reserve(20);
    AppendNumber(text, t.year, 1);
    text += '-';
    AppendNumber(text, t.month, 2);
    text += '-';
    AppendNumber(text, t.day, 2);
    text += ' ';
    AppendNumber(text, t.hour, 2);
    text += ':';
    AppendNumber(text, t.minute, 2);
    text += ':';
    AppendNumber(text, t.second, 2);
    return text;
}

std::string DayText(const LocalTime& t) {
    std::string text;
    text.reserve(11);
    AppendNumber(text, t.year, 1);
    text += '-';
    AppendNumber(text, t.month, 1);
    text += '-';
    AppendNumber(text, t.day, 1);
    return text;
}

DailyLog::DailyLog(const Clock& clock, FileSystem& files, LogLocations locations,
                   EncodeAppend encode)
    : clock(clock),
      files(files),
      locations(std::move(locations)),
      encode(encode),
      logDirectory(LogDirectoryBeside(this->locations.moduleDirectory)) {}

int DailyLog::CreateLogDirectory() {
    const std::string beside = LogDirectoryBeside(locations.moduleDirectory);
    if (!beside.empty()) {
        if (!files.PathExistsAs(beside, true)) files.MakeFolders(beside);
        if (files.IsWritableFolder(beside)) {
            logDirectory = beside;
            return 1;
        }
    }
    // An installed copy sits in a folder the user may not write: every line would be lost.
    const std::string& own = locations.userLogDirectory;
    if (!own.empty() && files.MakeFolders(own) == 1 && files.IsWritableFolder(own)) {
        logDirectory = own;
        return 1;
    }
    logDirectory = beside.empty() ? own : beside;
    return 0;
}

int DailyLog::AppendLine(std::string_view text) {
    // One reading of the clock for both the timestamp and the file, so that a line written
    // across midnight never lands in a file of the other day.
    const LocalTime now = clock.Now();
    std::string line;
    line.reserve(text.size() + 24);
    line += qzx::TimestampText(now);
    line += '\t';
    encode(text, line);
    line += "\r\n";
    const std::string path = logDirectory + DayText(now) + ".log";

    int result = logDirectory.empty() ? 0 : files.AppendToFile(path, line);
    // Someone removed the folder while we run: make it again rather than lose every line.
    if (result == 0 && !logDirectory.empty() && !files.PathExistsAs(logDirectory, true) &&
        files.MakeFolders(logDirectory) == 1) {
        result = files.AppendToFile(path, line);
    }
    lastResult.store(result);
    if (result == 0) failedLines.fetch_add(1);
    return result;
}

std::string DailyLog::TimestampText() const { return qzx::TimestampText(clock.Now()); }

std::string DailyLog::TodayText() const { return DayText(clock.Now()); }

bool DailyLog::PathExistsAs(const std::string& path, bool asFolder) const {
    return files.PathExistsAs(path, asFolder);
}

}  // namespace qzx
