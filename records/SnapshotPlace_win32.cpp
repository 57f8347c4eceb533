// The snapshots' places on Windows: local application data, since a snapshot describes this
// machine's disks and must not roam; the switch roams with the other settings.
#include <windows.h>
// Needs the types that windows.h declares.
#include <shlobj.h>

#include "base/WideText_win32.h"
#include "records/SnapshotPlace.h"
#include "records/UserFolders_win32.h"

namespace qzx {
namespace {

std::string Below(const wchar_t* variable, int csidl, const wchar_t* rest) {
    std::wstring base = UserShellFolder(variable, csidl);
    if (base.empty()) return {};
    if (base.back() != L'\\') base += L'\\';
    return Narrow(base + rest);
}

}  // namespace

std::string SystemSnapshotFolder() {
    return Below(L"LOCALAPPDATA", CSIDL_LOCAL_APPDATA, L"QzxFile\\snapshots\\");
}

std::string SystemCatchUpSettingFile() {
    return Below(L"APPDATA", CSIDL_APPDATA, L"QzxFile\\catch-up.txt");
}

}  // namespace qzx
