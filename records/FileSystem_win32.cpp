// The records' file operations on Windows: wide-character paths in the "\\?\" form, every
// result checked, and the export swapped in whole so that a failed one leaves the old file.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "base/UniqueHandle_win32.h"
#include "base/WideText_win32.h"
#include "records/FileSystem.h"

namespace qzx {
namespace {

constexpr DWORD kNoFile = INVALID_FILE_ATTRIBUTES;

DWORD AttributesOf(const std::wstring& path) {
    return path.empty() ? kNoFile : ::GetFileAttributesW(path.c_str());
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
    // "\\?\C:\" keeps its last separator: without it the name is no longer the root.
    while (path.size() > 7 && path.back() == L'\\') path.pop_back();
    return path;
}

// Where the first folder that MakeFolders may have to create begins: after "\\?\C:\" or after
// "\\?\UNC\server\share\".
size_t FirstCreatableLevel(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        size_t server = path.find(L'\\', 8);
        if (server == std::wstring::npos) return path.size();
        size_t share = path.find(L'\\', server + 1);
        return share == std::wstring::npos ? path.size() : share + 1;
    }
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.size() >= 7 ? 7 : path.size();
    return 0;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// Best effort: when even this fails there is nothing left to try, and the caller reports the
// lost line anyway.
void CutBack(HANDLE file, LARGE_INTEGER size) {
    if (::SetFilePointerEx(file, size, nullptr, FILE_BEGIN)) ::SetEndOfFile(file);
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring NameOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

class Win32FileSystem final : public FileSystem {
  public:
    bool PathExistsAs(const std::string& path, bool asFolder) const override {
        const DWORD attributes = AttributesOf(WidePath(path));
        if (attributes == kNoFile) return false;
        return ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == asFolder;
    }

    bool PathExists(const std::string& path) const override {
        return AttributesOf(WidePath(path)) != kNoFile;
    }

    bool IsWritableFolder(const std::string& path) const override {
        // Access rights, read-only media, and the folder redirection of old programs all decide
        // this; only making a file there answers for all of them.
        const std::wstring folder = WithoutTrailingSeparators(WidePath(path));
        const DWORD attributes = AttributesOf(folder);
        if (attributes == kNoFile || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
        static std::atomic<unsigned> serial{0};
        const std::wstring probe = folder + L"\\.qzx-probe-" +
                                   std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(serial.fetch_add(1));
        UniqueHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                        nullptr));
        return file.Valid();
    }

    int MakeFolders(const std::string& path) override {
        const std::wstring folder = WithoutTrailingSeparators(WidePath(path));
        if (folder.empty()) return 0;
        if (IsFolder(folder)) return 1;
        // Each level in turn; a level made meanwhile by someone else is as good as ours.
        for (size_t slash = folder.find(L'\\', FirstCreatableLevel(folder));;
             slash = folder.find(L'\\', slash + 1)) {
            const std::wstring level = folder.substr(0, slash);
            if (!::CreateDirectoryW(level.c_str(), nullptr) &&
                ::GetLastError() != ERROR_ALREADY_EXISTS && !IsFolder(level))
                return 0;
            if (slash == std::wstring::npos) break;
        }
        return IsFolder(folder) ? 1 : 0;
    }

    int AppendToFile(const std::string& path, std::string_view bytes) override {
        const std::wstring wide = WidePath(path);
        if (wide.empty()) return 0;
        // Others may read, move or delete the day's file while we keep writing to it.
        UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return 0;
        LARGE_INTEGER before{};
        const LARGE_INTEGER zero{};
        if (!::SetFilePointerEx(file.Get(), zero, &before, FILE_END)) return 0;
        const bool written = WriteAll(file.Get(), bytes);
        // Half a line would run into the next one; take it back.
        if (!written) CutBack(file.Get(), before);
        const bool closed = file.Close();
        return written && closed ? 1 : 0;
    }

    int ReplaceFile(const std::string& path, std::string_view bytes) override {
        return Replace(path, [bytes](HANDLE file) { return WriteAll(file, bytes); });
    }

    int ReplaceFileInPieces(const std::string& path, const NextPiece& next) override {
        return Replace(path, [&next](HANDLE file) {
            std::string piece;
            for (bool more = true; more;) {
                piece.clear();
                more = next(piece);
                if (!WriteAll(file, piece)) return false;
            }
            return true;
        });
    }

    ReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes,
                             std::string& bytes) const override {
        bytes.clear();
        const std::wstring wide = WidePath(path);
        if (wide.empty()) return ReadResult::kFailed;
        // An editor may hold the file open for writing while we read it.
        UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) {
            const DWORD error = ::GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                       ? ReadResult::kMissing
                       : ReadResult::kFailed;
        }
        char buffer[16384];
        for (;;) {
            DWORD n = 0;
            if (!::ReadFile(file.Get(), buffer, sizeof buffer, &n, nullptr)) {
                bytes.clear();
                return ReadResult::kFailed;
            }
            if (n == 0) return ReadResult::kRead;
            if (bytes.size() + n > maxBytes) {
                bytes.clear();
                return ReadResult::kTooLarge;
            }
            bytes.append(buffer, n);
        }
    }

    bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries) const override {
        entries.clear();
        const std::wstring folder = WithoutTrailingSeparators(WidePath(path));
        if (folder.empty()) return false;
        WIN32_FIND_DATAW found{};
        const HANDLE search = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                                 FindExSearchNameMatch, nullptr, 0);
        if (search == INVALID_HANDLE_VALUE) return false;
        do {
            const std::wstring_view name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const DWORD a = found.dwFileAttributes;
            // A junction or link is not followed: it may lead out of the tree or round it.
            const bool link = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            const bool folderEntry = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entries.push_back({Narrow(name), folderEntry && !link, !folderEntry && !link});
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
        return true;
    }

  private:
    // The whole file goes to a temporary beside it, which replaces it only once every byte is
    // on the disk.
    static int Replace(const std::string& path, const std::function<bool(HANDLE file)>& writeAll) {
        const std::wstring target = WidePath(path);
        if (target.empty()) return 0;
        const DWORD attributes = AttributesOf(target);
        if (attributes != kNoFile && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
        // The move below would get past a read-only file; the user protected it, so keep it.
        if (attributes != kNoFile && (attributes & FILE_ATTRIBUTE_READONLY)) return 0;

        std::wstring temp;
        UniqueHandle file = CreateTemporary(target, temp);
        if (!file.Valid()) return 0;
        bool ok = writeAll(file.Get());
        // Without this a crash soon after the move could leave an empty file in place of the
        // old one.
        if (ok) ok = ::FlushFileBuffers(file.Get()) != 0;
        ok = file.Close() && ok;
        if (ok) {
            ok = ::MoveFileExW(temp.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        }
        if (!ok) ::DeleteFileW(temp.c_str());
        return ok ? 1 : 0;
    }

    static bool IsFolder(const std::wstring& path) {
        const DWORD attributes = AttributesOf(path);
        return attributes != kNoFile && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    // A new file beside the target, so that the move stays within one volume.
    static UniqueHandle CreateTemporary(const std::wstring& target, std::wstring& temp) {
        static std::atomic<unsigned> serial{0};
        const std::wstring stem = FolderOf(target) + L"." + NameOf(target) + L".part-" +
                                  std::to_wstring(::GetCurrentProcessId()) + L"-";
        for (int attempt = 0; attempt < 100; ++attempt) {
            temp = stem + std::to_wstring(serial.fetch_add(1));
            UniqueHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file.Valid() || ::GetLastError() != ERROR_FILE_EXISTS) return file;
        }
        return UniqueHandle();
    }
};

}  // namespace

FileSystem& SystemFileSystem() {
    static Win32FileSystem files;
    return files;
}

}  // namespace qzx
