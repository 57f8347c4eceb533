// What a window program of QzxFile is made of below its window, the same for every shell.
#pragma once

#include <memory>
#include <optional>

#include "app/CatchUp.h"
#include "app/DesktopOpener.h"
#include "app/MainWindow.h"
#include "app/MonitorController.h"
#include "online/HttpGet.h"
#include "online/HttpTools.h"
#include "online/OnlineNotices.h"
#include "records/DailyLog.h"
#include "watch/EventList.h"
#include "watch/EventRecorder.h"

namespace qzx {

/// The daily log in its folder (made when missing), the list with the recorder that logs into
/// it, and the online notices over the system's HTTP client. Built from the platform's own
/// pieces, so it lives with them rather than in the core.
struct ProgramParts {
    ProgramParts();
    ProgramParts(const ProgramParts&) = delete;
    ProgramParts& operator=(const ProgramParts&) = delete;

    /// The window's dependencies: these parts, the system's clock and files, GBK exports, and
    /// the shell's controller (made on recorder), prompts and opener, the opener behind the
    /// check that a folder still is one.
    MainWindowDeps WindowDeps(MonitorController& controller, Prompts& prompts,
                              DesktopOpener& opener);

    // In the order they are made: each may use the ones above it.
    DailyLog log;
    EventList list;
    EventRecorder recorder;
    std::unique_ptr<HttpGet> http;
    HttpTools httpTools;
    OnlineNotices notices;
    std::optional<FolderCheckingOpener> checkedOpener;
    /// The tree's snapshots in the user's state folder; null when there is none.
    std::unique_ptr<CatchUp> catchUp;
};

}  // namespace qzx
