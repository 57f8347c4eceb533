// The tree listing on Windows: one directory handle per folder, read with
// GetFileInformationByHandleEx(FileIdBothDirectoryInfo), which gives each entry's file ID,
// size and times in the listing itself, so no entry is opened.
#include <windows.h>

#include <utility>
#include <vector>

#include "base/UniqueHandle_win32.h"
#include "base/WideText_win32.h"
#include "watch/TreeLister.h"

namespace qzx {
namespace {

// FILETIME counts 100 ns from 1601; the snapshot counts nanoseconds from 1970.
constexpr std::int64_t kEpochDifference = 116444736000000000LL;

StampNs StampOf(const LARGE_INTEGER& t) {
    if (t.QuadPart == 0) return kNoStamp;
    return (t.QuadPart - kEpochDifference) * 100;
}

// The system time, whose ticks are the ones NTFS stamps with: a stamp above it came later.
StampNs ClockNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = static_cast<LONG>(now.dwHighDateTime);
    return StampOf(t);
}

void AddEntry(const std::string& prefix, const FILE_ID_BOTH_DIR_INFO& info,
              std::vector<SnapshotEntry>& out) {
    const std::wstring_view name(info.FileName, info.FileNameLength / sizeof(wchar_t));
    if (name == L"." || name == L"..") return;
    SnapshotEntry entry;
    entry.path = prefix + Narrow(name);
    entry.fileId = static_cast<std::uint64_t>(info.FileId.QuadPart);
    // A junction or a link is not followed: its own entry is all the tree holds of it.
    const DWORD attributes = info.FileAttributes;
    entry.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::kOther
                 : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? EntryKind::kFolder
                                                             : EntryKind::kFile;
    if (entry.kind != EntryKind::kFolder) {
        entry.size = static_cast<std::uint64_t>(info.EndOfFile.QuadPart);
    }
    entry.modified = StampOf(info.LastWriteTime);
    entry.changed = StampOf(info.ChangeTime);
    out.push_back(std::move(entry));
}

// The entries of one folder with their attributes, from the listing alone; false when it
// cannot be opened.
bool ListFolder(const std::string& path, const std::string& relative,
                std::vector<SnapshotEntry>& out) {
    UniqueHandle dir(::CreateFileW(
        Widen(path).c_str(), FILE_LIST_DIRECTORY,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!dir.Valid()) return false;
    const std::string prefix = relative.empty() ? relative : relative + '\\';
    // DWORD-aligned, as the call requires.
    std::vector<DWORD> buffer(16384);
    for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;;
         kind = FileIdBothDirectoryInfo) {
        if (!::GetFileInformationByHandleEx(dir.Get(), kind, buffer.data(),
                                            static_cast<DWORD>(buffer.size() * 4))) {
            if (::GetLastError() == ERROR_NO_MORE_FILES) break;
            return false;
        }
        const auto* at = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            AddEntry(prefix, *info, out);
            if (info->NextEntryOffset == 0) break;
            at += info->NextEntryOffset;
        }
    }
    return true;
}

}  // namespace

TreeListing ListTree(const std::string& folder, const IgnoreRules* rules,
                     const std::atomic<bool>& cancel) {
    const FolderLister listFolder = [&folder](const std::string& relative,
                                              std::vector<SnapshotEntry>& out) {
        return ListFolder(folder + relative, relative, out);
    };
    return WalkTree(rules, '\\', ClockNow(), listFolder, cancel);
}

}  // namespace qzx
