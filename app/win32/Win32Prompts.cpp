#include "app/win32/Win32Prompts.h"

#include <shlobj.h>

#include <string>

#include "app/Texts.h"
#include "base/WideText_win32.h"

namespace qzx {
namespace {

// Room for a path past the old 260-character limit.
constexpr DWORD kPathChars = 32768;

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data != 0) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    }
    return 0;
}

}  // namespace

void Win32Prompts::ShowMessage(const std::string& text, MessageIcon icon) {
    const UINT style =
        MB_OK | (icon == MessageIcon::Exclamation ? MB_ICONEXCLAMATION : MB_ICONINFORMATION);
    MessageBoxW(owner(), Widen(text).c_str(), Widen(texts::kAppName).c_str(), style);
}

bool Win32Prompts::AskYesNo(const std::string& text) {
    return MessageBoxW(owner(), Widen(text).c_str(), Widen(texts::kAppName).c_str(),
                       MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

int Win32Prompts::ChooseFolder(const std::string& title, std::string& path) {
    const std::wstring wideTitle = Widen(title);
    const std::wstring initial = Widen(path);
    BROWSEINFOW info{};
    info.hwndOwner = owner();
    info.lpszTitle = wideTitle.c_str();
    // Only file-system folders can be chosen: a virtual item (Control Panel, a printer) has no
    // path that Start could watch.
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = initial.empty() ? 0 : reinterpret_cast<LPARAM>(initial.c_str());
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    if (item == nullptr) return 0;
    std::wstring chosen(kPathChars, L'\0');
    const BOOL ok = SHGetPathFromIDListEx(item, chosen.data(), kPathChars, GPFIDL_DEFAULT);
    CoTaskMemFree(item);
    if (!ok || chosen[0] == L'\0') return 0;
    chosen.resize(wcslen(chosen.c_str()));
    path = Narrow(chosen);
    return 1;
}

int Win32Prompts::ChooseSaveFile(const std::vector<FileFilter>& filters, std::string& path) {
    // Pairs of label and pattern, each ended by a zero, the list by one more.
    std::wstring filterText;
    for (const FileFilter& f : filters) {
        filterText += Widen(f.label);
        filterText += L'\0';
        filterText += Widen(f.pattern);
        filterText += L'\0';
    }
    filterText += L'\0';
    std::wstring file(kPathChars, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner();
    ofn.lpstrFilter = filterText.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kPathChars;
    // No overwrite prompt here: the program asks about an existing file itself, in its words.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&ofn) || file[0] == L'\0') return 0;
    file.resize(wcslen(file.c_str()));
    path = Narrow(file);
    return 1;
}

}  // namespace qzx
