// The user's folders on Windows.
#include "records/UserFolders_win32.h"

#include <windows.h>
// Needs the types that windows.h declares.
#include <shlobj.h>

namespace qzx {
namespace {

bool IsFullPath(const std::wstring& path) {
    return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.rfind(L"\\\\", 0) == 0;
}

}  // namespace

std::wstring UserShellFolder(const wchar_t* variable, int csidl) {
    const DWORD needed = ::GetEnvironmentVariableW(variable, nullptr, 0);
    if (needed > 1) {
        std::wstring value(needed, L'\0');
        const DWORD n = ::GetEnvironmentVariableW(variable, value.data(), needed);
        value.resize(n < needed ? n : 0);
        if (IsFullPath(value)) return value;
    }
    // The variable may be missing in a service's environment; the shell still knows the folder.
    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return folder;
    return {};
}

}  // namespace qzx
