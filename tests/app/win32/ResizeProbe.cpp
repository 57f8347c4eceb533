// Resizes the running main window from outside, as a drag of its border would, and checks what
// came of it: the window keeps the template's size as its least, and the list follows a larger
// size. The black-box test runs it while the program is up (argument: the desktop it runs in); exit
// code 0 when both hold, else a line on stderr says what was found. The window is left at the size
// it had.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/ControlIds.h"
#include "app/DialogTemplate.h"
#include "base/WideText_win32.h"

namespace {

HWND g_found = nullptr;

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM) {
    const std::wstring prefix = qzx::Widen(qzx::MainWindowTemplate().caption);
    wchar_t title[256] = {};
    GetWindowTextW(hwnd, title, 256);
    if (std::wstring(title).rfind(prefix, 0) != 0 || !IsWindowVisible(hwnd)) return TRUE;
    g_found = hwnd;
    return FALSE;
}

struct Size {
    long width;
    long height;
};

Size WindowSize(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return {r.right - r.left, r.bottom - r.top};
}

Size ClientSize(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return {r.right, r.bottom};
}

void Resize(HWND hwnd, long width, long height) {
    SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The program may run in a desktop of its own (Wine's virtual desktop is one): the window is
    // looked for there.
    if (argc > 1) {
        if (HDESK desktop = OpenDesktopW(argv[1], 0, FALSE, GENERIC_ALL)) SetThreadDesktop(desktop);
    }
    EnumWindows(FindMainWindow, 0);
    HWND dialog = g_found;
    HWND list = dialog != nullptr ? GetDlgItem(dialog, qzx::kIdEventList) : nullptr;
    if (list == nullptr) {
        std::fprintf(stderr, "resize probe: no main window with its list\n");
        return 2;
    }
    // A fresh window has the template's size.
    const Size window = WindowSize(dialog);
    const Size client = ClientSize(dialog);
    const Size listBefore = WindowSize(list);
    int failures = 0;

    Resize(dialog, 60, 40);
    const Size least = ClientSize(dialog);
    if (least.width != client.width || least.height != client.height) {
        std::fprintf(stderr, "resize probe: asked for 60x40, client %ldx%ld, template's %ldx%ld\n",
                     least.width, least.height, client.width, client.height);
        ++failures;
    }

    Resize(dialog, window.width + 120, window.height + 90);
    const Size larger = WindowSize(dialog);
    const Size listAfter = WindowSize(list);
    const long grewX = larger.width - window.width;
    const long grewY = larger.height - window.height;
    // The list takes all the room a larger window gives, in both directions, but for the
    // rounding between the layout's units and pixels.
    const auto nearly = [](long a, long b) { return a - b <= 2 && b - a <= 2; };
    if (grewX <= 0 || grewY <= 0 || !nearly(listAfter.width - listBefore.width, grewX) ||
        !nearly(listAfter.height - listBefore.height, grewY)) {
        std::fprintf(stderr, "resize probe: window grew by %ldx%ld, list from %ldx%ld to %ldx%ld\n",
                     grewX, grewY, listBefore.width, listBefore.height, listAfter.width,
                     listAfter.height);
        ++failures;
    }

    Resize(dialog, window.width, window.height);
    if (failures == 0) std::printf("resize probe: least size held, list followed\n");
    return failures == 0 ? 0 : 1;
}
