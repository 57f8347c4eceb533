// Real folders for the Windows platform tests: a fresh temporary folder, removed afterwards,
// and file helpers that go through the W calls as the program does.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "base/WideText_win32.h"

namespace qzx::test {

/// Any path as the W calls take it, long paths included.
inline std::wstring W(const std::string& utf8Path) { return WidePath(utf8Path); }

/// Removes a folder and everything below it; paths may pass the 260-character limit.
inline void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(folder.c_str());
}

/// A fresh folder under the system's temporary folder; path is UTF-8 without a trailing "\".
class TempFolder {
  public:
    TempFolder() {
        static std::atomic<unsigned> serial{0};
        wchar_t base[MAX_PATH + 1] = {};
        const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
        if (n == 0 || n > MAX_PATH) return;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::wstring candidate = std::wstring(base) + L"qzxwin-" +
                                           std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                           std::to_wstring(serial.fetch_add(1));
            if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
                path = Narrow(candidate);
                return;
            }
        }
    }
    ~TempFolder() {
        if (!path.empty()) RemoveTree(W(path));
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string Sub(const std::string& name) const { return path + "\\" + name; }
    std::string path;
};

/// The whole content of a file, or "<missing>".
inline std::string ReadBytes(const std::string& path) {
    HANDLE file = ::CreateFileW(W(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

/// Makes bytes the content of path; false when the file cannot be written.
inline bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(W(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        bytes.empty() ||
        (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size());
    ::CloseHandle(file);
    return ok;
}

/// Number of entries in a folder, "." and ".." not counted.
inline int EntryCount(const std::string& folder) {
    int count = 0;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((W(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") ++count;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return count;
}

}  // namespace qzx::test
