#include "app/ProgramParts.h"

#include "app/DailyLogWriter.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "records/FileSystem.h"
#include "records/IgnoreFile.h"
#include "records/SnapshotPlace.h"
#include "watch/TreeLister.h"

namespace qzx {

ProgramParts::ProgramParts()
    : log(SystemClock(), SystemFileSystem(), SystemLogLocations(), AppendGbk),
      recorder(list, SystemClock()),
      http(MakeHttpGet()),
      httpTools(*http),
      notices(ServiceStrings::Decode(), FetchThrough(httpTools)) {
    log.CreateLogDirectory();
    WriteLogTo(recorder, log);
    // Without a state folder there is no snapshot to keep, but still the run's view for the
    // recovery after an overflow.
    catchUp = std::make_unique<CatchUp>(SystemSnapshotFolder(), SystemFileSystem(), &ListTree,
                                        SystemClock());
}

MainWindowDeps ProgramParts::WindowDeps(MonitorController& controller, Prompts& prompts,
                                        DesktopOpener& opener) {
    checkedOpener.emplace(opener, SystemFileSystem());
    return {list,
            recorder,
            controller,
            prompts,
            SystemClock(),
            SystemFileSystem(),
            AppendGbk,
            log.LogDirectory(),
            notices,
            *checkedOpener,
            &SystemFileSystem(),
            SystemIgnoreFile(),
            catchUp.get(),
            SystemCatchUpSettingFile()};
}

}  // namespace qzx
