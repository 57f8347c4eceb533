// The Windows change source against real temporary folders. Under Wine the subtree watch is
// emulated and misses subfolders that existed before it was armed, so every subfolder here is
// made after Start.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <set>
#include <string>

#include "base/WideText_win32.h"
#include "tests/support/CollectingSink.h"
#include "tests/support/TempFolder_win32.h"
#include "tests/watch/ChangeSourceContract.h"
#include "watch/ChangeSource.h"

namespace qzx {
namespace {

using namespace std::chrono_literals;
using test::TempFolder;
using test::W;
using test::WriteBytes;

// Under Wine, the Linux path of a Windows path; empty elsewhere.
std::string UnixPathOf(const std::string& path) {
    using ToUnix = char* (*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr) return {};
    char* unixPath = toUnix(Widen(path).c_str());
    if (unixPath == nullptr) return {};
    std::string result(unixPath);
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return result;
}

// Runs a shell command on the Linux side of Wine and waits for it; false when it failed.
// Wine makes a new file in a big folder slowly (it looks for the name in every letter case),
// so bursts and removals that must be quick come from Linux, as they would from another program.
// Wine cannot wait for a Linux process, so the command leaves its exit status in a file.
bool RunUnix(const std::string& command, const TempFolder& scratch) {
    static int serial = 0;
    const std::string status = scratch.Sub("status-" + std::to_string(++serial));
    const std::string unixStatus = UnixPathOf(status);
    std::wstring line = L"Z:\\bin\\sh -c \"" + Widen(command) + L"; echo $? > '" +
                        Widen(unixStatus) + L".part' && mv '" + Widen(unixStatus) + L".part' '" +
                        Widen(unixStatus) + L"'\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (test::ReadBytes(status) == "<missing>") {
        if (std::chrono::steady_clock::now() > deadline) return false;
        ::Sleep(5);
    }
    return test::ReadBytes(status) == "0\n";
}

class Win32ChangeSource : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(temp.path.empty());
        watched = temp.Sub("watched");
        ASSERT_TRUE(::CreateDirectoryW(W(watched).c_str(), nullptr));
        source = CreateChangeSource();
    }
    void TearDown() override { source->Stop(); }

    std::string At(const std::string& name) const { return watched + "\\" + name; }
    bool StartWatching() { return source->Start(watched + "\\", sink); }

    TempFolder temp;
    std::string watched;
    CollectingSink sink;
    std::unique_ptr<ChangeSource> source;
};

TEST_F(Win32ChangeSource, CreateModifyRenameDeleteAsKinds) {
    ASSERT_TRUE(StartWatching());
    ASSERT_TRUE(WriteBytes(At("a.txt"), ""));
    ASSERT_TRUE(sink.Has(1, "a.txt"));
    ASSERT_TRUE(WriteBytes(At("a.txt"), "more"));
    ASSERT_TRUE(sink.Has(3, "a.txt"));
    ASSERT_TRUE(::MoveFileW(W(At("a.txt")).c_str(), W(At("b.txt")).c_str()));
    ASSERT_TRUE(sink.Has(5, "b.txt"));
    ASSERT_TRUE(::DeleteFileW(W(At("b.txt")).c_str()));
    ASSERT_TRUE(sink.Has(2, "b.txt"));

    // The old name comes directly before the new one, in the same batch.
    const CollectingSink::State s = sink.Snapshot();
    bool paired = false;
    for (const ChangeBatch& batch : s.batches) {
        for (size_t i = 0; i + 1 < batch.size(); ++i) {
            paired = paired || (batch[i].action == 4 && batch[i].name == "a.txt" &&
                                batch[i + 1].action == 5 && batch[i + 1].name == "b.txt");
        }
    }
    EXPECT_TRUE(paired);
    // The whole tree is watched from the start: ready once, before any record.
    EXPECT_EQ(s.ready, 1);
    EXPECT_EQ(s.recordsBeforeReady, 0u);
    EXPECT_EQ(s.overflows, 0);
    EXPECT_EQ(s.ended, 0);
}

// Names below the folder are relative, joined by "\", and arrive as UTF-8.
TEST_F(Win32ChangeSource, SubfolderAndChineseNames) {
    ASSERT_TRUE(StartWatching());
    ASSERT_TRUE(::CreateDirectoryW(W(At("子目录")).c_str(), nullptr));
    ASSERT_TRUE(sink.Has(1, "子目录"));
    ASSERT_TRUE(WriteBytes(At("子目录\\中文.txt"), "x"));
    ASSERT_TRUE(sink.Has(1, "子目录\\中文.txt"));
}

// Every one of 10,000 new files is handed over, or the loss is reported.
TEST_F(Win32ChangeSource, BurstIsRecordedOrLossReported) {
    constexpr int kFiles = 10000;
    ASSERT_TRUE(StartWatching());
    const std::string unixFolder = UnixPathOf(watched);
    if (!unixFolder.empty()) {
        ASSERT_TRUE(RunUnix("cd '" + unixFolder + "' && seq -f f%05g 0 9999 | xargs touch", temp));
    }
    for (int i = 0; i < kFiles && unixFolder.empty(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d", i);
        HANDLE file = ::CreateFileW(W(At(name)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
        ::CloseHandle(file);
    }
    auto added = [](const CollectingSink::State& s) {
        std::set<std::string> names;
        for (const ChangeBatch& batch : s.batches) {
            for (const ChangeRecord& r : batch) {
                if (r.action == 1) names.insert(r.name);
            }
        }
        return static_cast<int>(names.size());
    };
    // Counting names on every wake-up would slow the sink down; a count of records is cheap.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    size_t enough = kFiles;
    size_t seen = 0;
    for (;;) {
        // A watch that has gone quiet for seconds will not bring the rest: what it dropped
        // unseen stays dropped, so there is no point in waiting out the whole deadline.
        const auto quiet = std::min<std::chrono::steady_clock::duration>(
            5s, deadline - std::chrono::steady_clock::now());
        const bool more = sink.WaitFor(
            [&](const CollectingSink::State& s) {
                return s.texts.size() >= enough || s.overflows > 0;
            },
            std::chrono::duration_cast<std::chrono::milliseconds>(quiet));
        const CollectingSink::State s = sink.Snapshot();
        const int missing = kFiles - added(s);
        if (missing == 0 || s.overflows > 0) break;
        if (!more && (s.texts.size() == seen || std::chrono::steady_clock::now() >= deadline)) {
            break;
        }
        seen = s.texts.size();
        enough = s.texts.size() + static_cast<size_t>(missing);
    }
    const CollectingSink::State s = sink.Snapshot();
    std::printf("burst: %d of %d new files reported in %zu batches, %d losses reported\n", added(s),
                kFiles, s.batches.size(), s.overflows);
    if (unixFolder.empty()) {
        EXPECT_TRUE(added(s) == kFiles || s.overflows > 0);
    } else {
        // Wine emulates the subtree watch with its own inotify queue, which can overflow under
        // a burst from outside without telling anyone (16,384 events by default, two per new
        // file here). What reaches the program must still be handed over, all but a sliver.
        EXPECT_TRUE(added(s) >= kFiles * 99 / 100 || s.overflows > 0);
    }
    EXPECT_EQ(s.ended, 0);
}

// A sink that fails (the queue's copy found no memory) ends the run, told once; the reads
// still waiting are cancelled before their buffers go, and the source starts again.
TEST_F(Win32ChangeSource, ThrowingSinkEndsRunAndSourceStartsAgain) {
    struct ThrowingSink : CollectingSink {
        void OnBatch(const ChangeBatch&) override { throw std::bad_alloc(); }
    } failing;
    ASSERT_TRUE(source->Start(watched + "\\", failing));
    ASSERT_TRUE(WriteBytes(At("a.txt"), ""));
    EXPECT_TRUE(failing.WaitFor([](const CollectingSink::State& s) { return s.ended > 0; }, 10s));
    source->Stop();
    EXPECT_EQ(failing.Snapshot().ended, 1);
    // Without its trailing separator the folder is taken too.
    ASSERT_TRUE(source->Start(watched, sink));
    ASSERT_TRUE(WriteBytes(At("b.txt"), ""));
    EXPECT_TRUE(sink.Has(1, "b.txt"));
}

// The contract of every source, in a folder under the system's temporary folder.
struct Win32Contract {
    struct Place {
        TempFolder temp;
        std::string problem = temp.path.empty() ? "no temporary folder" : "";
        std::string folder = temp.path;
    };
    using Source = ChangeSource;
    static constexpr char kSeparator = '\\';
    static std::unique_ptr<Source> Make() { return CreateChangeSource(); }
    static bool MakeFolder(const std::string& path) {
        return ::CreateDirectoryW(W(path).c_str(), nullptr);
    }
    static bool Touch(const std::string& path) { return WriteBytes(path, ""); }
    // A file made by Windows calls is reported as added, then as modified.
    static constexpr bool kTouchModifies = true;
    // Wine keeps a folder removed through Windows calls until its last handle closes, the
    // watch's own included; a removal on the Linux side is a real one there.
    static bool RemoveTree(Place& place, const std::string& path) {
        const std::string unixFolder = UnixPathOf(path);
        if (!unixFolder.empty()) return RunUnix("rm -r '" + unixFolder + "'", place.temp);
        test::RemoveTree(W(path));
        return ::GetFileAttributesW(W(path).c_str()) == INVALID_FILE_ATTRIBUTES;
    }
    // The watch's 64 KiB buffer holds some 2,700 changes of these names; a reader that lagged
    // while 10,000 files were made lost changes, and was told so, under Wine too.
    static long QueueLimit() { return 9000; }
    // Made from Linux under Wine, which makes a file in a big folder slowly.
    static bool Flood(Place& place, const std::string& folder, long count) {
        const std::string unixFolder = UnixPathOf(folder);
        if (!unixFolder.empty()) {
            return RunUnix("cd '" + unixFolder + "' && seq -f f%05g 0 " +
                               std::to_string(count - 1) + " | xargs touch",
                           place.temp);
        }
        for (long i = 0; i < count; ++i) {
            if (!Touch(folder + "\\f" + std::to_string(i))) return false;
        }
        return true;
    }
    static void AfterRefusal(const Source&) {}
};
INSTANTIATE_TYPED_TEST_SUITE_P(Win32ChangeSource, ChangeSourceContract, Win32Contract);

}  // namespace
}  // namespace qzx
