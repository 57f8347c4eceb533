// Where the log may go on Windows: the program's own folder, and the user's local application
// data for an installed copy whose folder the user may not write.
#include <windows.h>
// Needs the types that windows.h declares.
#include <shlobj.h>

#include <string>

#include "base/WideText_win32.h"
#include "records/DailyLog.h"
#include "records/UserFolders_win32.h"

namespace qzx {
namespace {

std::wstring ProgramPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        // A full buffer means a cut path: never derive a folder from half a name.
        if (n < buffer.size()) return buffer.substr(0, n);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string ProgramFolder() {
    const std::wstring path = ProgramPath();
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::string() : Narrow(path.substr(0, slash + 1));
}

std::string UserLogFolder() {
    std::wstring base = UserShellFolder(L"LOCALAPPDATA", CSIDL_LOCAL_APPDATA);
    if (base.empty()) return {};
    if (base.back() != L'\\') base += L'\\';
    return Narrow(base + L"QzxFile\\log\\");
}

}  // namespace

LogLocations SystemLogLocations() {
    LogLocations places;
    places.moduleDirectory = ProgramFolder();
    places.userLogDirectory = UserLogFolder();
    return places;
}

}  // namespace qzx
