// A log line for any row at any time: one line of the day's file, four fields, CR LF.
#include <map>

#include "base/Gbk.h"
#include "records/DailyLog.h"
#include "tests/fuzz/FuzzRows.h"

namespace {

class FixedClock final : public qzx::Clock {
  public:
    explicit FixedClock(qzx::LocalTime t) : t(t) {}
    qzx::LocalTime Now() const override { return t; }

  private:
    qzx::LocalTime t;
};

// Every folder exists and is writable; files are kept in memory.
class MemoryFiles final : public qzx::FileSystem {
  public:
    std::map<std::string, std::string> files;
    bool PathExistsAs(const std::string& path, bool asFolder) const override {
        return asFolder ? !files.count(path) : files.count(path) > 0;
    }
    bool PathExists(const std::string& path) const override { return !path.empty(); }
    bool IsWritableFolder(const std::string&) const override { return true; }
    int MakeFolders(const std::string&) override { return 1; }
    int AppendToFile(const std::string& path, std::string_view bytes) override {
        files[path].append(bytes);
        return 1;
    }
    int ReplaceFile(const std::string& path, std::string_view bytes) override {
        files[path] = std::string(bytes);
        return 1;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const qzx::LocalTime now = qzx::fuzz::TakeTime(input);
    const std::vector<qzx::EventRow> rows = qzx::fuzz::TakeRows(input);

    FixedClock clock(now);
    MemoryFiles files;
    qzx::DailyLog log(clock, files, {"/opt/qzx/", "/home/u/.local/state/qzxfile/log/"},
                      qzx::AppendGbk);
    FUZZ_CHECK(log.CreateLogDirectory() == 1);
    for (const qzx::EventRow& row : rows) {
        std::size_t before = files.files.empty() ? 0 : files.files.begin()->second.size();
        FUZZ_CHECK(log.AppendLines({qzx::LogText(row)}, clock.Now()) == 1);
        FUZZ_CHECK(files.files.size() == 1);
        const std::string& all = files.files.begin()->second;
        const std::string_view line = std::string_view(all).substr(before);
        // Timestamp, ID, type and details: one line whatever the details hold.
        FUZZ_CHECK(qzx::fuzz::CountOf(line, '\n') == 1 && line.size() >= 2 &&
                   line.substr(line.size() - 2) == "\r\n");
        FUZZ_CHECK(qzx::fuzz::CountOf(line, '\r') == 1);
        FUZZ_CHECK(qzx::fuzz::CountOf(line, '\t') == 3);
        FUZZ_CHECK(line.substr(0, line.find('\t')) == qzx::TimestampText(now));
    }
    if (!rows.empty()) {
        FUZZ_CHECK(files.files.begin()->first == "/opt/qzx/log/" + qzx::DayText(now) + ".log");
        // The day in a file name never holds a separator, whatever the clock says.
        FUZZ_CHECK(qzx::DayText(now).find('/') == std::string::npos);
    }
    return 0;
}
