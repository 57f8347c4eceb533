// Opening through the Windows shell.
#include "app/ShellOpener_win32.h"

#include <windows.h>
// Needs the types that windows.h declares.
#include <shellapi.h>

#include <string>

#include "base/WideText_win32.h"
#include "online/WebAddress.h"

namespace qzx {
namespace {

bool ShellOpen(const std::wstring& target) {
    if (target.empty()) return false;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // The shell may hand the work to a thread of its own, so that a slow browser start never
    // holds up the window; no error box either, since nothing reports the result.
    info.fMask = SEE_MASK_ASYNCOK | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = target.c_str();
    info.nShow = SW_SHOW;
    return ::ShellExecuteExW(&info) != 0;
}

}  // namespace

bool ShellDesktopOpener::OpenUrl(const std::string& url) {
    // A document's address reaching ShellExecute could otherwise start any program on the disk.
    if (!IsWebAddress(url)) return false;
    return ShellOpen(Widen(EscapeWebAddress(url)));
}

void ShellDesktopOpener::OpenFolder(const std::string& folder) {
    std::wstring path = Widen(folder);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    // Only folders arrive here: the program's opener checks first (FolderCheckingOpener), since
    // "open" on a file would run it.
    ShellOpen(path);
}

}  // namespace qzx
