// The logo and the banner of the main window at the screen's DPI: each control, the area a
// click reaches, must be the rectangle its template units map to and show a picture of exactly
// its size. The second case runs the first again in a child process at 144 DPI.
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "app/DialogTemplate.h"
#include "app/win32/Pictures.h"
#include "base/WideText_win32.h"

namespace qzx {
namespace {

// Set in the child: the DPI the parent gave the prefix, which the child must see.
constexpr wchar_t kDpiVariable[] = L"QZX_PICTURES_DPI";

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

SIZE SizeOf(HBITMAP bitmap) {
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    return {info.bmWidth, info.bmHeight};
}

// The mean of each colour over the picture: a resample that failed is black, not the banner.
std::vector<double> MeanColour(HBITMAP bitmap) {
    const SIZE size = SizeOf(bitmap);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<std::size_t>(size.cx) * size.cy);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, size.cy, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    std::vector<double> mean(3, 0.0);
    if (rows != size.cy || pixels.empty()) return mean;
    for (DWORD p : pixels) {
        for (int c = 0; c < 3; ++c) mean[c] += (p >> (8 * c)) & 0xFF;
    }
    for (double& m : mean) m /= static_cast<double>(pixels.size());
    return mean;
}

struct Program {
    HMODULE module = LoadLibraryExW(Widen(QZX_PROGRAM_PATH).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ~Program() {
        if (module) FreeLibrary(module);
    }
};

TEST(Pictures, FitTheirControlsAtThisDpi) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (const wchar_t* want = _wgetenv(kDpiVariable)) {
        ASSERT_EQ(dpi, _wtoi(want)) << "the prefix's DPI did not reach this process";
    }
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    Program program;
    ASSERT_NE(program.module, nullptr) << QZX_PROGRAM_PATH;
    HWND dialog = CreateDialogParamW(program.module, MAKEINTRESOURCEW(kTemplateMain), nullptr,
                                     QuietDialog, 0);
    ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
    const std::vector<HBITMAP> made = FitPictures(dialog, program.module);
    EXPECT_EQ(made.size(), 2u);
    int checked = 0;
    for (const TemplateControl& c : MainWindowTemplate().controls) {
        if (c.kind != ControlKind::Picture) continue;
        ++checked;
        SCOPED_TRACE("picture " + std::to_string(c.image) + " at " + std::to_string(dpi) + " DPI");
        RECT mapped{c.units.x, c.units.y, c.units.x + c.units.width, c.units.y + c.units.height};
        MapDialogRect(dialog, &mapped);
        // Found as a click finds it: the control under the far corner of its rectangle.
        const POINT corner{mapped.right - 2, mapped.bottom - 2};
        HWND control = ChildWindowFromPointEx(dialog, corner, CWP_SKIPINVISIBLE);
        ASSERT_NE(control, dialog) << "the far corner of the picture is not on it";
        if (c.id != kIdStatic) {
            EXPECT_EQ(GetDlgCtrlID(control), c.id);
        }
        RECT shown;
        GetWindowRect(control, &shown);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&shown), 2);
        EXPECT_EQ(shown.left, mapped.left);
        EXPECT_EQ(shown.top, mapped.top);
        EXPECT_LE(std::abs(shown.right - mapped.right), 1);
        EXPECT_LE(std::abs(shown.bottom - mapped.bottom), 1);
        auto* picture =
            reinterpret_cast<HBITMAP>(SendMessageW(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_NE(picture, nullptr);
        const SIZE size = SizeOf(picture);
        EXPECT_EQ(size.cx, shown.right - shown.left);
        EXPECT_EQ(size.cy, shown.bottom - shown.top);
        // Same drawing as the stored one, whatever the scale.
        HBITMAP stored = LoadBitmapW(program.module, MAKEINTRESOURCEW(c.image));
        ASSERT_NE(stored, nullptr);
        const std::vector<double> want = MeanColour(stored);
        const std::vector<double> got = MeanColour(picture);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 6.0) << "colour " << i;
        DeleteObject(stored);
    }
    EXPECT_EQ(checked, 2);
    DestroyWindow(dialog);
    for (HBITMAP b : made) DeleteObject(b);
}

// The prefix's DPI is read when a process starts, so the child sees what the parent sets; the
// old value is put back for the tests that follow.
TEST(Pictures, FitTheirControlsAt144Dpi) {
    if (_wgetenv(kDpiVariable)) GTEST_SKIP() << "the child runs the other case only";
    HKEY desktop = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &desktop, nullptr),
              ERROR_SUCCESS);
    DWORD old = 0;
    DWORD type = 0;
    DWORD bytes = sizeof old;
    const bool hadOld = RegQueryValueExW(desktop, L"LogPixels", nullptr, &type,
                                         reinterpret_cast<BYTE*>(&old), &bytes) == ERROR_SUCCESS;
    const DWORD dpi = 144;
    ASSERT_EQ(RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&dpi), sizeof dpi),
              ERROR_SUCCESS);

    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(self) + L"\" --gtest_filter=Pictures.FitTheirControlsAtThisDpi";
    SetEnvironmentVariableW(kDpiVariable, L"144");
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    const bool started = CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &start, &child);
    SetEnvironmentVariableW(kDpiVariable, nullptr);
    DWORD code = 1;
    if (started) {
        WaitForSingleObject(child.hProcess, 120000);
        GetExitCodeProcess(child.hProcess, &code);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    if (hadOld && type == REG_DWORD) {
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old),
                       sizeof old);
    } else {
        RegDeleteValueW(desktop, L"LogPixels");
    }
    RegCloseKey(desktop);
    ASSERT_TRUE(started) << "error " << GetLastError();
    EXPECT_EQ(code, 0u) << "the case failed at 144 DPI (its output is above)";
}

}  // namespace
}  // namespace qzx
