// Wires the objects of one run of QzxFile together and runs the main window (Windows).
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <objbase.h>

#include "app/DailyLogWriter.h"
#include "app/MainWindow.h"
#include "app/MonitorController.h"
#include "app/ShellOpener_win32.h"
#include "app/win32/Win32MainWindow.h"
#include "app/win32/Win32Prompts.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "online/HttpGet.h"
#include "online/HttpTools.h"
#include "online/OnlineNotices.h"
#include "records/DailyLog.h"
#include "records/FileSystem.h"
#include "watch/ChangeSource.h"
#include "watch/EventRecorder.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The folder picker's dialog is made of shell objects, which want a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    qzx::DailyLog log(qzx::SystemClock(), qzx::SystemFileSystem(), qzx::SystemLogLocations(),
                      qzx::AppendGbk);
    log.CreateLogDirectory();

    qzx::EventList list;
    qzx::EventRecorder recorder(list, qzx::SystemClock());
    qzx::WriteLogTo(recorder, log);
    qzx::Win32MainWindow window(instance);
    qzx::Win32Prompts prompts([&window] { return window.Handle(); });
    qzx::ShellDesktopOpener opener;
    const std::unique_ptr<qzx::HttpGet> http = qzx::MakeHttpGet();
    qzx::HttpTools httpTools(*http);
    qzx::OnlineNotices notices(qzx::ServiceStrings::Decode(), qzx::FetchThrough(httpTools));
    qzx::MonitorController controller(recorder, &qzx::CreateChangeSource, prompts);
    {
        qzx::MainWindow presenter(
            {list, recorder, controller, prompts, qzx::SystemClock(), qzx::SystemFileSystem(),
             qzx::AppendGbk, log.LogDirectory(), notices, opener},
            window);
        window.Run(presenter);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
