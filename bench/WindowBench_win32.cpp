// The Windows window under load: a burst of new folders full of new files against the real
// dialog (every file recorded, or the loss shown), the GUI thread's longest stall meanwhile,
// the time from start to the first shown window, and the memory a row costs.
//
//   WindowBench_win32.exe [files-per-folder=1000] [folders=20] [rows=1000000] [burst-folder]
//
// With a burst folder, the files are made by another program (tools/bench-win32.sh runs one on
// the Linux side, as fast as the Linux window's own benchmark makes them): the bench watches
// burst-folder\watched, creates burst-folder\armed once it watches, and waits for
// burst-folder\written. Without one, a thread of its own makes them through the Win32 calls.
// Run it under Wine inside a virtual desktop (tools/bench-win32.sh does).
#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/ControlIds.h"
#include "app/MainWindow.h"
#include "app/MonitorController.h"
#include "app/StatusTexts.h"
#include "app/win32/Win32MainWindow.h"
#include "app/win32/Win32Prompts.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "base/WideText_win32.h"
#include "online/OnlineNotices.h"
#include "records/FileSystem.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/OfflineNotices.h"
#include "tests/support/WindowDeps.h"
#include "watch/ChangeSource.h"
#include "watch/EventRecorder.h"

namespace {

double NowMs() {
    static const auto frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / frequency;
}

// The working set, which Wine fills in as Linux counts resident memory.
std::size_t ResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(qzx::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What the bench has to do, step by step, from the GUI thread's 10 ms probe timer.
struct Bench {
    qzx::Win32MainWindow* window = nullptr;
    qzx::MainWindow* presenter = nullptr;
    qzx::EventList* list = nullptr;
    qzx::EventRecorder* recorder = nullptr;
    qzx::MonitorController* controller = nullptr;
    std::string root;
    std::string signals;  // the burst folder when another program writes, else empty
    int perFolder = 1000;
    int folders = 20;
    int rows = 1000000;

    enum class Step { WaitShown, Settle, Burst, Rows, Done } step = Step::WaitShown;
    double mainStartMs = 0;
    double stepStartMs = 0;
    double lastTickMs = 0;
    double worstGapMs = 0;
    double startupMs = 0;
    double burstMs = 0;
    double writeMs = 0;
    double lastGrowthMs = 0;
    std::size_t lastCount = 0;
    std::atomic<bool> written{false};
    std::thread writer;
    int result = 1;
};

Bench bench;

void WriteBurst() {
    const double t = NowMs();
    // The folders are new: each appears in the watched tree while files pour into the others.
    for (int f = 0; f < bench.folders; ++f) {
        CreateDirectoryW(qzx::Widen(bench.root + "\\d" + std::to_string(f)).c_str(), nullptr);
    }
    for (int i = 0; i < bench.perFolder; ++i) {
        for (int f = 0; f < bench.folders; ++f) {
            const std::wstring path =
                qzx::Widen(bench.root + "\\d" + std::to_string(f) + "\\file-" + std::to_string(i));
            HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    }
    bench.writeMs = NowMs() - t;
    bench.written = true;
}

std::size_t AddedRows() {
    std::size_t added = 0;
    bench.list->Read([&](const qzx::EventList::Rows& rows) {
        for (const qzx::ListedRow& r : rows) added += r.action == qzx::kActionAdded ? 1 : 0;
    });
    return added;
}

void FinishBurst(double now) {
    bench.burstMs = now - bench.stepStartMs;
    if (bench.writer.joinable()) bench.writer.join();
    bench.presenter->Poll();
    const std::size_t files = static_cast<std::size_t>(bench.perFolder) * bench.folders;
    const std::size_t expected = files + static_cast<std::size_t>(bench.folders);
    const std::size_t added = AddedRows();
    const qzx::StatusTexts status = qzx::WindowStatusTexts(bench.controller->Status());
    if (bench.signals.empty()) {
        std::printf("burst: %d new folders x %d files, written in %.0f ms by a Win32 thread\n",
                    bench.folders, bench.perFolder, bench.writeMs);
    } else {
        std::printf("burst: %d new folders x %d files, written by a Linux program\n", bench.folders,
                    bench.perFolder);
    }
    std::printf("recorded %zu of %zu new entries (%.2f%%), last row after %.0f ms\n", added,
                expected, 100.0 * static_cast<double>(added) / static_cast<double>(expected),
                bench.burstMs);
    std::printf("status line: %s%s%s\n", status.line.c_str(), status.toolTip.empty() ? "" : " / ",
                status.toolTip.c_str());
    std::printf("worst gap between 10 ms ticks on the GUI thread: %.1f ms\n", bench.worstGapMs);
    const bool lossShown = status.line.find("丢失") != std::string::npos;
    bench.result = (added == expected || lossShown) ? 0 : 2;
    bench.presenter->OnStop();
}

void MeasureRows() {
    bench.presenter->OnClear();
    bench.presenter->Poll();
    qzx::MonitorOptions options = qzx::DefaultOptions();
    options.optAutoClear = 0;
    bench.recorder->SetOptions(options);
    const std::size_t before = ResidentBytes();
    const int run = bench.recorder->BeginRun("C:\\Users\\user\\watched\\");
    qzx::ChangeBatch batch;
    for (int i = 0; i < 1000; ++i) {
        batch.push_back({qzx::kActionAdded, "folder" + std::to_string(i % 37) + "\\文件-" +
                                                std::to_string(i) + ".txt"});
    }
    for (int done = 0; done < bench.rows; done += 1000) bench.recorder->RecordBatch(run, batch);
    const double t = NowMs();
    // Polls, as the window's timer makes them: a list still growing at one poll is taken in
    // at a later one.
    for (int poll = 0; poll < 10 && bench.presenter->RowCount() < bench.rows; ++poll) {
        bench.presenter->Poll();
    }
    UpdateWindow(bench.window->Handle());
    const double takeMs = NowMs() - t;
    const std::size_t after = ResidentBytes();
    std::printf("rows %d in the list, taken into the view in %.1f ms\n",
                bench.presenter->RowCount(), takeMs);
    std::printf("memory per row: %.1f bytes (working set %.1f MB -> %.1f MB)\n",
                static_cast<double>(after - before) / bench.rows, before / 1e6, after / 1e6);
}

void CALLBACK Probe(HWND, UINT, UINT_PTR, DWORD) {
    const double now = NowMs();
    if (bench.step == Bench::Step::Burst && bench.lastTickMs > 0) {
        bench.worstGapMs = std::max(bench.worstGapMs, now - bench.lastTickMs);
    }
    bench.lastTickMs = now;
    switch (bench.step) {
        case Bench::Step::WaitShown: {
            HWND w = bench.window->Handle();
            if (!w || !IsWindowVisible(w)) return;
            bench.startupMs = now - bench.mainStartMs;
            std::printf("start to first shown window: %.1f ms\n", bench.startupMs);
            bench.window->SetText(qzx::kIdFolderPath, bench.root);
            bench.window->SetChecked(qzx::kIdOptAutoClear, false);
            bench.presenter->OnOptionChanged();
            bench.presenter->OnStart();
            bench.step = Bench::Step::Settle;
            bench.stepStartMs = now;
            return;
        }
        case Bench::Step::Settle: {
            // The watch is armed off the GUI thread; the window's own polls bring the state on.
            const qzx::MonitorState state = bench.controller->State();
            if (state != qzx::MonitorState::Arming && state != qzx::MonitorState::Monitoring) {
                std::fprintf(stderr, "cannot watch %s: %s\n", bench.root.c_str(),
                             qzx::WindowStatusTexts(bench.controller->Status()).line.c_str());
                bench.window->Close();
                bench.step = Bench::Step::Done;
                return;
            }
            if (state == qzx::MonitorState::Arming) bench.stepStartMs = now;
            if (now - bench.stepStartMs < 300) return;
            bench.step = Bench::Step::Burst;
            bench.stepStartMs = bench.lastGrowthMs = now;
            if (bench.signals.empty()) {
                bench.writer = std::thread(WriteBurst);
            } else {
                CloseHandle(CreateFileW(qzx::Widen(bench.signals + "\\armed").c_str(),
                                        GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            }
            return;
        }
        case Bench::Step::Burst: {
            const std::size_t expected =
                static_cast<std::size_t>(bench.perFolder + 1) * bench.folders;
            if (!bench.signals.empty() && !bench.written && Exists(bench.signals + "\\written")) {
                bench.written = true;
            }
            const std::size_t count = bench.list->Size();
            if (count != bench.lastCount) {
                bench.lastCount = count;
                bench.lastGrowthMs = now;
            }
            // Done when every entry is in, or when nothing more arrived for 5 s after writing.
            const bool quiet = bench.written && now - bench.lastGrowthMs > 5000;
            if (!(bench.written && count >= expected) && !quiet &&
                now - bench.stepStartMs < 180000) {
                return;
            }
            FinishBurst(bench.written && count >= expected ? now : bench.lastGrowthMs);
            bench.step = Bench::Step::Rows;
            return;
        }
        case Bench::Step::Rows:
            bench.step = Bench::Step::Done;
            MeasureRows();
            bench.window->Close();
            return;
        case Bench::Step::Done:
            return;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    bench.mainStartMs = NowMs();
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc > 1) bench.perFolder = _wtoi(argv[1]);
    if (argc > 2) bench.folders = _wtoi(argv[2]);
    if (argc > 3) bench.rows = _wtoi(argv[3]);

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    if (argc > 4) {
        bench.signals = qzx::Narrow(argv[4]);
        bench.root = bench.signals + "\\watched";
    } else {
        bench.root = qzx::Narrow(temp) + "qzx-burst-" + std::to_string(GetCurrentProcessId());
    }
    CreateDirectoryW(qzx::Widen(bench.root).c_str(), nullptr);
    LocalFree(argv);

    qzx::EventList list;
    qzx::EventRecorder recorder(list, qzx::SystemClock());
    qzx::Win32MainWindow window(instance);
    qzx::Win32Prompts prompts([&window] { return window.Handle(); });
    qzx::test::FakeOpener opener;  // nothing is opened while measuring
    qzx::OnlineNotices notices(qzx::ServiceStrings::Decode(), qzx::test::NoFetch());
    qzx::MonitorController controller(recorder, &qzx::CreateChangeSource, prompts);
    qzx::MainWindow presenter(
        qzx::test::WindowDeps(list, recorder, controller, prompts, notices, opener)
            .Exports(qzx::SystemFileSystem(), qzx::AppendGbk)
            .LogFolder(qzx::Narrow(temp))
            .Build(),
        window);
    bench.window = &window;
    bench.presenter = &presenter;
    bench.list = &list;
    bench.recorder = &recorder;
    bench.controller = &controller;
    // A thread timer: it keeps ticking inside the dialog's own message loop.
    SetTimer(nullptr, 0, 10, Probe);
    window.Run(presenter);
    if (bench.writer.joinable()) bench.writer.join();
    std::fflush(stdout);
    return bench.result;
}
