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

// The buffer of a batch is kept for the next one, unless a burst made it this large.
constexpr std::size_t kKeptBatchBytes = 1 << 20;

void AppendLogLines(std::string& out, const std::vector<std::string>& texts, const LocalTime& when,
                    EncodeAppend encode, std::string_view lineEnd) {
    // Every line of a batch has the same stamp: format it once.
    std::string stamp = TimestampText(when);
    stamp += '\t';
    std::size_t size = out.size();
    for (const std::string& text : texts) size += stamp.size() + text.size() + lineEnd.size();
    // One allocation: no character takes more bytes in GBK than in UTF-8.
    out.reserve(size);
    for (const std::string& text : texts) {
        out += stamp;
        if (encode == nullptr) {
            out += text;
        } else {
            encode(text, out);
        }
        out += lineEnd;
    }
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

std::string LogLines(const std::vector<std::string>& texts, const LocalTime& when,
                     EncodeAppend encode, std::string_view lineEnd) {
    std::string out;
    AppendLogLines(out, texts, when, encode, lineEnd);
    return out;
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

std::size_t DailyLog::AppendLines(const std::vector<std::string>& texts, const LocalTime& when) {
    if (texts.empty()) return 0;
    batchBytes.clear();
    AppendLogLines(batchBytes, texts, when, encode, "\r\n");
    const std::size_t written = WriteLines(when, batchBytes, texts.size());
    if (batchBytes.capacity() > kKeptBatchBytes) std::string().swap(batchBytes);
    return written;
}

std::size_t DailyLog::WriteLines(const LocalTime& when, const std::string& bytes,
                                 std::size_t lines) {
    // The day comes from the same reading as the timestamps, so a batch never lands in the file
    // of the other day.
    const std::string path = logDirectory + DayText(when) + ".log";
    int result = logDirectory.empty() ? 0 : files.AppendToFile(path, bytes);
    // Someone removed the folder while we run: make it again rather than lose every line.
    if (result == 0 && !logDirectory.empty() && !files.PathExistsAs(logDirectory, true) &&
        files.MakeFolders(logDirectory) == 1) {
        result = files.AppendToFile(path, bytes);
    }
    lastResult.store(result);
    if (result == 0) failedLines.fetch_add(static_cast<int>(lines));
    return result == 1 ? lines : 0;
}

std::string DailyLog::TimestampText() const { return qzx::TimestampText(clock.Now()); }

std::string DailyLog::TodayText() const { return DayText(clock.Now()); }

bool DailyLog::PathExistsAs(const std::string& path, bool asFolder) const {
    return files.PathExistsAs(path, asFolder);
}

}  // namespace qzx
