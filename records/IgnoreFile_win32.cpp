// The user's ignore list on Windows: in the roaming application data, which follows the user
// from machine to machine as settings should (the log, being local, is not there).
#include <windows.h>
// Needs the types that windows.h declares.
#include <shlobj.h>

#include "base/WideText_win32.h"
#include "records/IgnoreFile.h"
#include "records/UserFolders_win32.h"

namespace qzx {

IgnoreFilePlace SystemIgnoreFile() {
    std::wstring base = UserShellFolder(L"APPDATA", CSIDL_APPDATA);
    if (base.empty()) return {std::string(), "\r\n"};
    if (base.back() != L'\\') base += L'\\';
    return {Narrow(base + L"QzxFile\\ignore.txt"), "\r\n"};
}

}  // namespace qzx
