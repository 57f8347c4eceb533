// Wires the objects of one run of QzxFile together and runs the main window (Windows).
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <objbase.h>

#include "app/MainWindow.h"
#include "app/MonitorController.h"
#include "app/ProgramParts.h"
#include "app/ShellOpener_win32.h"
#include "app/win32/Win32MainWindow.h"
#include "app/win32/Win32Prompts.h"
#include "watch/ChangeSource.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The folder picker's dialog is made of shell objects, which want a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    qzx::ProgramParts parts;
    qzx::Win32MainWindow window(instance);
    qzx::Win32Prompts prompts([&window] { return window.Handle(); });
    qzx::ShellDesktopOpener opener;
    qzx::MonitorController controller(parts.recorder, &qzx::CreateChangeSource, prompts);
    {
        qzx::MainWindow presenter(parts.WindowDeps(controller, prompts, opener), window);
        window.Run(presenter);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
