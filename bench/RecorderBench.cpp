// How fast the recording rules turn synthetic batches into rows, and what a row costs in memory.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>

#include "base/Clock.h"
#include "watch/EventRecorder.h"

namespace {

class StillClock final : public qzx::Clock {
  public:
    qzx::LocalTime Now() const override { return {2026, 12, 8, 14, 7, 9}; }
};

qzx::ChangeBatch MakeBatch(int size, int action) {
    qzx::ChangeBatch batch;
    for (int i = 0; i < size; ++i) {
        batch.push_back({action, "subfolder" + std::to_string(i % 100) + "/file-" +
                                     std::to_string(i) + ".txt"});
    }
    return batch;
}

// Added files with distinct names, all kinds ticked, automatic clearing on (as by default).
void BM_RecordAddedBatches(benchmark::State& state) {
    StillClock clock;
    qzx::EventList list;
    qzx::EventRecorder recorder(list, clock);
    qzx::MonitorOptions options = qzx::DefaultOptions();
    options.optOther = 1;
    recorder.SetOptions(options);
    const int run = recorder.BeginRun("/home/user/watched/");
    const qzx::ChangeBatch batch = MakeBatch(static_cast<int>(state.range(0)), qzx::kActionAdded);
    for (auto _ : state) {
        recorder.EndDuplicateWindow();
        benchmark::DoNotOptimize(recorder.RecordBatch(run, batch));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RecordAddedBatches)->Arg(1)->Arg(64)->Arg(1024);

// The same with the log switched on, writing nowhere: the cost of building the log texts.
void BM_RecordWithLogTexts(benchmark::State& state) {
    StillClock clock;
    qzx::EventList list;
    qzx::EventRecorder recorder(list, clock);
    qzx::MonitorOptions options = qzx::DefaultOptions();
    options.optRecordLog = 1;
    recorder.SetOptions(options);
    recorder.SetLogWriter(
        [](const std::vector<std::string>& texts, const qzx::LocalTime&) { return texts.size(); });
    const int run = recorder.BeginRun("/home/user/watched/");
    const qzx::ChangeBatch batch = MakeBatch(1024, qzx::kActionRemoved);
    for (auto _ : state) benchmark::DoNotOptimize(recorder.RecordBatch(run, batch));
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_RecordWithLogTexts);

// Heap bytes per row of a list of one million rows (automatic clearing off).
void BM_MemoryPerRow(benchmark::State& state) {
    for (auto _ : state) {
        StillClock clock;
        qzx::EventList list;
        qzx::EventRecorder recorder(list, clock);
        qzx::MonitorOptions options = qzx::DefaultOptions();
        options.optAutoClear = 0;
        recorder.SetOptions(options);
        const int run = recorder.BeginRun("/home/user/watched/");
        const qzx::ChangeBatch batch = MakeBatch(1000, qzx::kActionRemoved);
        malloc_trim(0);
        const std::size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
        for (int i = 0; i < 1000; ++i) recorder.RecordBatch(run, batch);
        const std::size_t after = mallinfo2().uordblks + mallinfo2().hblkhd;
        state.counters["bytes_per_row"] =
            static_cast<double>(after - before) / static_cast<double>(list.Size());
        state.counters["rows"] = static_cast<double>(list.Size());
    }
}
BENCHMARK(BM_MemoryPerRow)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
