// Speed of the records: the export of a million rows and the sustained rate of log lines, each
// beside a raw write of the same bytes as the baseline.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "records/DailyLog.h"
#include "records/RecordExport.h"

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
        row.hour = static_cast<std::uint8_t>(i / 3600 % 24);
        row.minute = static_cast<std::uint8_t>(i / 60 % 60);
        row.second = static_cast<std::uint8_t>(i % 60);
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
        if (log.AppendLine(text) != 1) state.SkipWithError("line lost");
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

}  // namespace
}  // namespace qzx

BENCHMARK_MAIN();
