// The Windows change source: one overlapped ReadDirectoryChangesW on the whole subtree.
//
// How it works. Start opens the folder and starts the watcher's thread, then waits until that
// thread has issued the first read: a thread's pending reads end with it, so the reads must be
// the watcher's own, and once the first is in place nothing done after Start returns is
// missed. The thread waits on two events, the stop event and the one each completed read sets.
// Two buffers take turns: the next read is issued before the records of the one that
// completed go to the sink. An old name that ends a read is held briefly for its new name
// (HeldRename.h); a quiet watch checks now and then that its folder is still the one it
// opened. Stop sets the stop event; the thread cancels its read, waits until the system lets
// go of the buffer and returns. Watching also ends by itself when the folder goes away or a
// read fails; the sink is then told OnEnded.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/UniqueHandle_win32.h"
#include "base/WideText_win32.h"
#include "watch/ChangeSource.h"
#include "watch/HeldRename.h"
#include "watch/SourceThread.h"

namespace qzx {
namespace {

// The rows' rules number the kinds as the system does, so a record's action is the system's.
static_assert(kActionAdded == FILE_ACTION_ADDED);
static_assert(kActionRemoved == FILE_ACTION_REMOVED);
static_assert(kActionModified == FILE_ACTION_MODIFIED);
static_assert(kActionRenamedOld == FILE_ACTION_RENAMED_OLD_NAME);
static_assert(kActionRenamedNew == FILE_ACTION_RENAMED_NEW_NAME);

// Every kind of change the rows can show: names, attributes, size, content, times and rights.
constexpr DWORD kNotifyFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_LAST_ACCESS |
                                FILE_NOTIFY_CHANGE_CREATION | FILE_NOTIFY_CHANGE_SECURITY;
// The largest buffer a read on a network share may ask for.
constexpr DWORD kBufferBytes = 64 * 1024;
// How often a quiet watch checks that its folder is still there. A share that goes away, or a
// folder removed where the system's watch does not notice it, may never complete the read.
constexpr DWORD kFolderCheckMs = 1000;

// Which file a handle stands for: the volume and the file's number on it.
struct FileIdentity {
    DWORD volume = 0;
    DWORD high = 0;
    DWORD low = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && high == other.high && low == other.low;
    }
};

bool IdentityOf(HANDLE handle, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

// The records of one completed read, converted to the program's text.
void ParseRecords(const std::uint8_t* data, DWORD length, ChangeBatch& batch) {
    DWORD offset = 0;
    while (offset + offsetof(FILE_NOTIFY_INFORMATION, FileName) <= length) {
        FILE_NOTIFY_INFORMATION header;
        std::memcpy(&header, data + offset, offsetof(FILE_NOTIFY_INFORMATION, FileName));
        const DWORD nameStart = offset + offsetof(FILE_NOTIFY_INFORMATION, FileName);
        DWORD nameBytes = header.FileNameLength;
        if (nameBytes > length - nameStart) nameBytes = length - nameStart;
        std::wstring name(nameBytes / sizeof(wchar_t), L'\0');
        std::memcpy(name.data(), data + nameStart, name.size() * sizeof(wchar_t));
        // Values outside 1..5 go through as they are: the recorder calls them other changes.
        batch.push_back(ChangeRecord{static_cast<int>(header.Action), Narrow(name)});
        if (header.NextEntryOffset == 0) break;
        offset += header.NextEntryOffset;
    }
}

// One overlapped read and the buffer it fills.
struct PendingRead {
    std::vector<DWORD> buffer = std::vector<DWORD>(kBufferBytes / sizeof(DWORD));
    OVERLAPPED overlapped{};
    bool pending = false;
};

// The two reads of a run, which take turns, so that a sink that takes its time does not leave
// the system without a buffer: the next read waits in one while the other's records go out.
struct ReadPair {
    PendingRead reads[2];
    int current = 0;
    ChangeBatch batch;  // the records of the read that completed, reused from read to read

    PendingRead& Current() { return reads[current]; }
    void Turn() { current ^= 1; }
};

class Win32ChangeSource final : public ThreadedChangeSource<> {
  public:
    ~Win32ChangeSource() override { Stop(); }

    bool Start(const std::string& folder, ChangeSink& sink) override {
        Stop();
        const std::wstring path = WidePath(folder);
        if (path.empty()) return false;
        // Listing rights are all a watch needs: a folder one may read but not write is watched.
        UniqueHandle directory(::CreateFileW(
            path.c_str(), FILE_LIST_DIRECTORY,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
        if (!directory.Valid()) return false;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(directory.Get(), &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            return false;
        folderPath = path;
        folderIdentity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
        UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!stop.Valid()) return false;
        directoryHandle = std::move(directory);
        stopEvent = std::move(stop);
        return StartThread(sink, Arming::OnThread);
    }

  private:
    enum class ReadResult { Records, Lost, Ended };
    // What the watcher does after one wait.
    enum class Step { Go, Stopped, Ended };

    struct ReadsCancelled {
        Win32ChangeSource& source;
        ReadPair& reads;
        ~ReadsCancelled() {
            for (PendingRead& read : reads.reads) source.Cancel(read);
        }
    };

    void Wake() override { ::SetEvent(stopEvent.Get()); }

    void CloseRun() override {
        directoryHandle.Reset();
        stopEvent.Reset();
        ioEvent.Reset();
    }

    bool Watch(ChangeSink& sink) override {
        UniqueHandle io(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!io.Valid()) return false;
        ioEvent = std::move(io);
        ReadPair reads;
        // However the loop ends, a sink's exception included, the system must have let go of
        // both buffers before they are freed.
        const ReadsCancelled cancelled{*this, reads};
        if (!Issue(reads.Current())) return false;
        Armed();
        // The one read covers the whole tree: nothing is left to set up.
        sink.OnReady();
        HeldRename held;
        for (;;) {
            const Step step = WaitOnce(sink, reads, held);
            if (step != Step::Go) return step == Step::Stopped;
        }
    }

    Step WaitOnce(ChangeSink& sink, ReadPair& reads, HeldRename& held) {
        const HANDLE waits[2] = {stopEvent.Get(), ioEvent.Get()};
        const DWORD timeout = held.Holding()
                                  ? static_cast<DWORD>(held.Left(HeldRename::Clock::now()).count())
                                  : kFolderCheckMs;
        const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, timeout);
        if (woken == WAIT_OBJECT_0 + 1) return ReadDone(sink, reads, held);
        if (woken == WAIT_TIMEOUT) return TimedOut(sink, reads, held);
        // Asked to stop (the stop event), or the wait itself failed.
        Cancel(reads.Current());
        return woken == WAIT_OBJECT_0 ? Step::Stopped : Step::Ended;
    }

    Step TimedOut(ChangeSink& sink, ReadPair& reads, HeldRename& held) {
        // The wait was the held name's: its new name did not come.
        if (held.Holding()) {
            sink.OnBatch(held.Release());
            return Step::Go;
        }
        if (FolderStillThere()) return Step::Go;
        Cancel(reads.Current());
        return Step::Ended;
    }

    Step ReadDone(ChangeSink& sink, ReadPair& reads, HeldRename& held) {
        PendingRead& done = reads.Current();
        DWORD length = 0;
        const ReadResult result = Complete(done, length);
        if (result == ReadResult::Ended) {
            Flush(sink, held);
            return Step::Ended;
        }
        reads.Turn();
        const bool reissued = Issue(reads.Current());
        if (result == ReadResult::Lost) return Lost(sink, reads, held, reissued);
        ChangeBatch& batch = reads.batch;
        ParseRecords(reinterpret_cast<const std::uint8_t*>(done.buffer.data()), length, batch);
        held.Take(batch, HeldRename::Clock::now());
        if (!batch.empty()) sink.OnBatch(batch);
        batch.clear();
        if (reissued) return Step::Go;
        Flush(sink, held);
        return Step::Ended;
    }

    // Changes were lost: what is held goes out before the loss is told, and watching goes on
    // only while the folder is the one that was opened.
    Step Lost(ChangeSink& sink, ReadPair& reads, HeldRename& held, bool reissued) {
        Flush(sink, held);
        if (!reissued || !FolderStillThere()) {
            Cancel(reads.Current());
            return Step::Ended;
        }
        sink.OnOverflow();
        return Step::Go;
    }

    static void Flush(ChangeSink& sink, HeldRename& held) {
        const ChangeBatch rest = held.Release();
        if (!rest.empty()) sink.OnBatch(rest);
    }

    bool Issue(PendingRead& read) {
        std::memset(&read.overlapped, 0, sizeof read.overlapped);
        read.overlapped.hEvent = ioEvent.Get();
        ::ResetEvent(ioEvent.Get());
        read.pending =
            ::ReadDirectoryChangesW(directoryHandle.Get(), read.buffer.data(), kBufferBytes, TRUE,
                                    kNotifyFilter, nullptr, &read.overlapped, nullptr) != 0;
        return read.pending;
    }

    // Ends a read that is still waiting; GetOverlappedResult waits until the system has let go
    // of the buffer, which must outlive the read.
    void Cancel(PendingRead& read) {
        if (!read.pending) return;
        ::CancelIoEx(directoryHandle.Get(), &read.overlapped);
        DWORD ignored = 0;
        ::GetOverlappedResult(directoryHandle.Get(), &read.overlapped, &ignored, TRUE);
        read.pending = false;
    }

    ReadResult Complete(PendingRead& read, DWORD& length) {
        read.pending = false;
        length = 0;
        if (::GetOverlappedResult(directoryHandle.Get(), &read.overlapped, &length, FALSE))
            return length == 0 ? ReadResult::Lost : ReadResult::Records;
        // More changes came than the system could keep for us.
        return ::GetLastError() == ERROR_NOTIFY_ENUM_DIR ? ReadResult::Lost : ReadResult::Ended;
    }

    // True when the folder's name still leads to the folder we watch. A folder being deleted
    // cannot be opened, and one that was removed or renamed has a different file (or none)
    // under its name; names reported from then on would be wrong.
    bool FolderStillThere() const {
        UniqueHandle again(::CreateFileW(folderPath.c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                         nullptr));
        FileIdentity identity;
        return again.Valid() && IdentityOf(again.Get(), identity) && identity == folderIdentity;
    }

    std::wstring folderPath;  // as opened, for the check that it is still there
    FileIdentity folderIdentity;
    UniqueHandle directoryHandle;
    UniqueHandle stopEvent;
    UniqueHandle ioEvent;  // made and used by the watcher's thread, closed after the join
};

}  // namespace

std::unique_ptr<ChangeSource> CreateChangeSource() { return std::make_unique<Win32ChangeSource>(); }

}  // namespace qzx
