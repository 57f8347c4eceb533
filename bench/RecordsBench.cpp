// Speed of the records: the export of a million rows and the sustained rate of log lines, each
// beside a raw write of the same bytes as the baseline. The BM_Logged and BM_Raw groups make
// one comparison: run them in the same go and read the lines per second as ratios.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "records/DailyLog.h"
#include "records/RecordExport.h"
#include "watch/EventRecorder.h"

namespace qzx {
namespace {

constexpr LocalTime kDay{2026, 12, 8, 12, 0, 0};

// Rows as a busy folder produces them: ASCII paths, renames and, in chinesePercent of the rows,
// Chinese names (0, 20 or 100 percent).
std::vector<EventRow> MakeRows(int chinesePercent) {
    std::vector<EventRow> made(1000000);
    for (int i = 0; i < static_cast<int>(made.size()); ++i) {
        EventRow& row = made[static_cast<size_t>(i)];
        row.id = i + 1;
        // About a day and a half of changes, so the rows carry two dates.
        SetRecordedAt(row, {2026, 12, 7 + i / 86400, i / 3600 % 24, i / 60 % 60, i % 60});
        row.action = static_cast<std::uint8_t>(i % 5 + 1);
        const std::string n = std::to_string(i);
        if (i % 100 < chinesePercent) {
            row.details = i % 10 == 1
                              ? "/home/用户/旧" + n + ".txt 命名为 /home/用户/新" + n + ".txt"
                              : "/home/用户/项目/文档/报告" + n + ".docx";
        } else {
            row.details = i % 10 == 1 ? "/home/user/src/old" + n +
                                            ".cpp 命名为 /home/user/src/new" + n + ".cpp"
                                      : "/home/user/work/build/objects/module" + n + ".o";
        }
    }
    return made;
}

const std::vector<EventRow>& MillionRows(int chinesePercent) {
    static std::vector<EventRow> rows;
    static int madeFor = -1;
    if (madeFor != chinesePercent) {
        rows = MakeRows(chinesePercent);
        madeFor = chinesePercent;
    }
    return rows;
}

std::string TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qzxbench-XXXXXX").string();
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

void BM_BuildExportBytes(benchmark::State& state) {
    const auto& rows = MillionRows(static_cast<int>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        std::string out = BuildExportBytes(rows, kDay, AppendGbk);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_BuildExportBytes)
    ->Arg(0)
    ->Arg(20)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The text first, then the general writer's conversion: what the one pass saves.
void BM_BuildTextThenEncode(benchmark::State& state) {
    const auto& rows = MillionRows(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::string out = EncodeFileText(BuildExportText(rows, kDay), AppendGbk);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_BuildTextThenEncode)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(3);

// The whole worker part of an export: build, write a temporary file, flush it, rename.
void BM_ExportMillionRows(benchmark::State& state) {
    const auto& rows = MillionRows(static_cast<int>(state.range(0)));
    const std::string dir = TempDir();
    const std::string path = dir + "/records.log";
    for (auto _ : state) {
        if (WriteExportFile(SystemFileSystem(), path, rows, kDay, AppendGbk) != 1) {
            state.SkipWithError("export failed");
        }
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ExportMillionRows)
    ->Arg(20)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// Baseline: the same bytes, prepared beforehand, written with one open, write, fsync, close.
void BM_RawWriteSameBytes(benchmark::State& state) {
    const std::string bytes =
        BuildExportBytes(MillionRows(static_cast<int>(state.range(0))), kDay, AppendGbk);
    const std::string dir = TempDir();
    const std::string path = dir + "/raw.log";
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::fsync(fd);
        ::close(fd);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RawWriteSameBytes)
    ->Arg(20)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

void BM_AppendLine(benchmark::State& state) {
    const std::string dir = TempDir();
    DailyLog log(SystemClock(), SystemFileSystem(), {dir + "/", ""}, AppendGbk);
    log.CreateLogDirectory();
    const std::string text = state.range(0) == 0
                                 ? "123\t修改\t/home/user/work/build/objects/module42.o"
                                 : "123\t新增\t/home/user/项目/文档/报告42.docx";
    for (auto _ : state) {
        if (log.AppendLines({text}, SystemClock().Now()) != 1) state.SkipWithError("line lost");
    }
    state.SetItemsProcessed(state.iterations());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_AppendLine)->Arg(0)->Arg(1)->UseRealTime();

// Baseline: open, append, close of a line of the same length, nothing else.
void BM_RawAppendLine(benchmark::State& state) {
    const std::string dir = TempDir();
    const std::string path = dir + "/raw.log";
    const std::string line =
        "2026-12-08 12:00:00\t123\t\xD0\xDE\xB8\xC4\t"
        "/home/user/work/build/objects/module42.o\r\n";
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
        benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
        ::close(fd);
    }
    state.SetItemsProcessed(state.iterations());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RawAppendLine)->UseRealTime();

// A recorder with "记录日志" ticked, writing the daily log into a folder of its own, as the
// program runs it.
struct LoggingRig {
    const std::string dir = TempDir();
    DailyLog log{SystemClock(), SystemFileSystem(), {dir + "/", ""}, AppendGbk};
    EventList list;
    EventRecorder recorder{list, SystemClock()};
    int run = 0;
    explicit LoggingRig(bool logging = true) {
        log.CreateLogDirectory();
        MonitorOptions options = DefaultOptions();
        options.optRecordLog = logging ? 1 : 0;
        recorder.SetOptions(options);
        recorder.SetLogWriter([this](const std::vector<std::string>& texts, const LocalTime& when) {
            return log.AppendLines(texts, when);
        });
        run = recorder.BeginRun(kWatched);
    }
    ~LoggingRig() { std::filesystem::remove_all(dir); }
    static constexpr const char* kWatched = "/home/user/watched/";
};

// Deleted files, which the duplicate window never holds back; ASCII or Chinese names.
ChangeBatch DeletedFiles(int count, bool chinese) {
    ChangeBatch batch;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        batch.push_back({kActionRemoved, chinese ? "项目/文档/报告" + n + ".docx"
                                                 : "work/build/objects/module" + n + ".o"});
    }
    return batch;
}

// The log file's bytes for one batch, made without the program's writer.
std::string RawLines(const ChangeBatch& batch) {
    const std::string stamp = TimestampText(SystemClock().Now());
    std::string bytes;
    for (size_t i = 0; i < batch.size(); ++i) {
        bytes += stamp + "\t" + std::to_string(i + 1) + "\t" + Utf8ToGbk("删除") + "\t" +
                 LoggingRig::kWatched + Utf8ToGbk(batch[i].name) + "\r\n";
    }
    return bytes;
}

bool AppendRaw(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && ok;
}

// Lines per second of a burst with the log ticked: the rules, the log texts, the encoding and
// the file. Arguments: lines per batch, Chinese names (1) or ASCII (0).
void BM_LoggedBatches(benchmark::State& state) {
    LoggingRig rig;
    const ChangeBatch batch = DeletedFiles(static_cast<int>(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        if (rig.recorder.RecordBatch(rig.run, batch) != batch.size()) {
            state.SkipWithError("change not recorded");
        }
    }
    if (rig.recorder.LogFailures() != 0) state.SkipWithError("lines lost");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoggedBatches)->ArgsProduct({{1, 16, 256}, {0, 1}})->UseRealTime();

// The same with the log off: what the rules and the list cost without it.
void BM_UnloggedBatches(benchmark::State& state) {
    LoggingRig rig(false);
    const ChangeBatch batch = DeletedFiles(static_cast<int>(state.range(0)), false);
    for (auto _ : state) benchmark::DoNotOptimize(rig.recorder.RecordBatch(rig.run, batch));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_UnloggedBatches)->Arg(16)->Arg(256)->UseRealTime();

// The same with a set number of batches, for counting system calls under strace.
BENCHMARK(BM_LoggedBatches)->Name("BM_LoggedSyscalls")->Args({16, 0})->Iterations(1000);

// Floor: the batch's bytes, made beforehand, with one open, write and close per batch.
void BM_RawBatchWrites(benchmark::State& state) {
    const std::string dir = TempDir();
    const std::string path = dir + "/raw.log";
    const std::string bytes = RawLines(DeletedFiles(static_cast<int>(state.range(0)), false));
    for (auto _ : state) {
        if (!AppendRaw(path, bytes)) state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RawBatchWrites)->Arg(1)->Arg(16)->Arg(256)->UseRealTime();

// Floor of a writer that opens the file for every line: open, write and close per line.
void BM_RawLineWrites(benchmark::State& state) {
    const std::string dir = TempDir();
    const std::string path = dir + "/raw.log";
    const ChangeBatch batch = DeletedFiles(static_cast<int>(state.range(0)), false);
    std::vector<std::string> lines;
    for (const ChangeRecord& change : batch) lines.push_back(RawLines({change}));
    for (auto _ : state) {
        for (const std::string& line : lines) {
            if (!AppendRaw(path, line)) state.SkipWithError("write failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RawLineWrites)->Arg(16)->UseRealTime();

// The encoder alone on log texts: ASCII, Chinese names, and Chinese between long ASCII runs.
void BM_EncodeLogText(benchmark::State& state) {
    const std::string texts[] = {
        "123\t删除\t/home/user/watched/work/build/objects/module42.o",
        "123\t删除\t/home/user/watched/项目/文档/报告42.docx",
        "123\t删除\t/home/user/watched/some/long/ascii/folder/名/more/long/ascii/names.txt",
    };
    const std::string& text = texts[state.range(0)];
    std::string out;
    for (auto _ : state) {
        out.clear();
        AppendGbk(text, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeLogText)->DenseRange(0, 2);

}  // namespace
}  // namespace qzx

BENCHMARK_MAIN();
