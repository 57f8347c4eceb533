// The Windows change source: one ReadDirectoryChangesW on the whole subtree, overlapped, so that
// a stop event can end the wait and the thread leaves by itself.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "base/UniqueHandle_win32.h"
#include "base/WideText_win32.h"
#include "watch/ChangeSource.h"

namespace qzx {
namespace {

// Names, folder names, attributes, size, last write, last access, creation and security.
constexpr DWORD kNotifyFilter = 0x17F;
// The largest buffer a read on a network share may ask for.
constexpr DWORD kBufferBytes = 64 * 1024;
// How long the old half of a rename that ends one read waits for its new half in the next.
constexpr DWORD kHeldRenameWaitMs = 15;
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

class Win32ChangeSource : public ChangeSource {
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
        UniqueHandle armed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!stop.Valid() || !armed.Valid()) return false;
        directoryHandle = std::move(directory);
        stopEvent = std::move(stop);
        armedEvent = std::move(armed);
        armedOk = false;
        try {
            thread = std::thread([this, &sink] { Run(sink); });
        } catch (const std::system_error&) {
            // No thread to be had is a failure to start, not an error for the caller to catch.
            CloseAll();
            return false;
        }
        // The first read is issued on the watcher's thread, since a thread's pending reads end
        // with it; waiting for it here means nothing done after Start returns can be missed.
        ::WaitForSingleObject(armedEvent.Get(), INFINITE);
        if (armedOk) return true;
        thread.join();
        CloseAll();
        return false;
    }

    void Stop() override {
        if (thread.joinable()) {
            ::SetEvent(stopEvent.Get());
            thread.join();
        }
        CloseAll();
    }

  private:
    // One overlapped read and the buffer it fills.
    struct PendingRead {
        std::vector<DWORD> buffer = std::vector<DWORD>(kBufferBytes / sizeof(DWORD));
        OVERLAPPED overlapped{};
        bool pending = false;
    };

    enum class ReadResult { Records, Lost, Ended };

    void CloseAll() {
        directoryHandle.Reset();
        stopEvent.Reset();
        armedEvent.Reset();
        ioEvent.Reset();
    }

    void Run(ChangeSink& sink) noexcept {
        // Nothing may escape the thread's entry; a failure here ends the watch like a read error.
        bool stopped = false;
        try {
            stopped = Watch(sink);
        } catch (...) {
            stopped = false;
        }
        // A failed first read is Start's failure, told by its result rather than to the sink.
        if (!armedOk) {
            ::SetEvent(armedEvent.Get());
            return;
        }
        if (!stopped) sink.OnEnded();
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

    // Returns true when asked to stop, false when watching ended by itself.
    bool Watch(ChangeSink& sink) {
        UniqueHandle io(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!io.Valid()) return false;
        ioEvent = std::move(io);
        // Two buffers: the next read is waiting in one while the records of the other go to the
        // sink, so that a sink that takes its time does not leave the system without a buffer.
        PendingRead reads[2];
        int current = 0;
        if (!Issue(reads[current])) return false;
        armedOk = true;
        ::SetEvent(armedEvent.Get());
        // The one read covers the whole tree: nothing is left to set up.
        sink.OnReady();

        ChangeBatch held;  // an old name at the end of a read, waiting for its new name
        ChangeBatch batch;
        for (;;) {
            const HANDLE waits[2] = {stopEvent.Get(), ioEvent.Get()};
            const DWORD timeout = held.empty() ? kFolderCheckMs : kHeldRenameWaitMs;
            const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, timeout);
            if (woken == WAIT_OBJECT_0) {
                Cancel(reads[current]);
                return true;
            }
            if (woken == WAIT_TIMEOUT && !held.empty()) {
                sink.OnBatch(held);
                held.clear();
                continue;
            }
            if (woken == WAIT_TIMEOUT) {
                if (FolderStillThere()) continue;
                Cancel(reads[current]);
                return false;
            }
            if (woken != WAIT_OBJECT_0 + 1) {
                Cancel(reads[current]);
                return false;
            }
            PendingRead& done = reads[current];
            DWORD length = 0;
            const ReadResult result = Complete(done, length);
            if (result == ReadResult::Ended) {
                if (!held.empty()) sink.OnBatch(held);
                return false;
            }
            current ^= 1;
            const bool reissued = Issue(reads[current]);
            if (result == ReadResult::Lost) {
                if (!held.empty()) sink.OnBatch(held);
                held.clear();
                if (!reissued || !FolderStillThere()) {
                    Cancel(reads[current]);
                    return false;
                }
                sink.OnOverflow();
                continue;
            }
            batch.swap(held);
            held.clear();
            ParseRecords(reinterpret_cast<const std::uint8_t*>(done.buffer.data()), length, batch);
            if (!batch.empty() && batch.back().action == kActionRenamedOld) {
                held.push_back(std::move(batch.back()));
                batch.pop_back();
            }
            if (!batch.empty()) sink.OnBatch(batch);
            batch.clear();
            if (!reissued) {
                if (!held.empty()) sink.OnBatch(held);
                return false;
            }
        }
    }

    std::wstring folderPath;  // as opened, for the check that it is still there
    FileIdentity folderIdentity;
    UniqueHandle directoryHandle;
    UniqueHandle stopEvent;
    UniqueHandle armedEvent;
    UniqueHandle ioEvent;
    bool armedOk = false;  // written by the watcher before armedEvent is set, read after
    std::thread thread;
};

}  // namespace

std::unique_ptr<ChangeSource> CreateChangeSource() { return std::make_unique<Win32ChangeSource>(); }

}  // namespace qzx
