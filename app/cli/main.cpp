// qzxwatch: the window's recording rules without a window, printing each change on a line.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/DailyLogWriter.h"
#include "app/cli/Console.h"
#include "app/cli/WatchArguments.h"
#include "app/cli/WatchIgnore.h"
#include "app/cli/WatchSession.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "base/PathRules.h"
#include "records/DailyLog.h"
#include "records/FileSystem.h"
#include "records/SnapshotPlace.h"
#include "watch/ChangeSource.h"
#include "watch/EventList.h"
#include "watch/EventRecorder.h"
#include "watch/TreeLister.h"

namespace {

// Relative folders are taken from the current one; "." and ".." are resolved by name only, so
// the paths printed are the ones the user would type.
std::string AbsoluteFolder(const std::string& folder) {
    std::error_code error;
    // u8path and u8string keep the names whole on a system whose narrow encoding is not UTF-8.
    std::filesystem::path path = std::filesystem::absolute(std::filesystem::u8path(folder), error);
    if (error) return folder;
    path = path.lexically_normal().make_preferred();
    std::string text = path.u8string();
    // "C:\" and "/" keep their separator: without it they would name something else.
    const std::size_t root = path.root_path().u8string().size();
    while (text.size() > root && text.size() > 1 && text.back() == qzx::kPathSeparator) {
        text.pop_back();
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qzx::cli;
    PrepareStopSignals();

    std::string error;
    const std::vector<std::string> args = CommandLineArguments(argc, argv);
    const std::optional<WatchArguments> arguments = ParseWatchArguments(args, error);
    if (!arguments) {
        WriteErrLine("qzxwatch: " + error);
        WriteErrLine("Try 'qzxwatch --help' for more information.");
        return kExitBadArguments;
    }
    if (arguments->showHelp) return WriteOut(HelpText()) ? kExitStopped : kExitOutputFailed;
    if (arguments->showVersion) return WriteOut(VersionText()) ? kExitStopped : kExitOutputFailed;
    WatchArguments run = *arguments;
    const auto rules = BuildIgnoreRules(run.ignoreOptions, qzx::SystemFileSystem(), error);
    if (!rules) {
        WriteErrLine("qzxwatch: " + error);
        return kExitBadArguments;
    }
    run.ignoreRules = *rules;
    SetOutputGbk(arguments->form == OutputForm::GbkLines);

    qzx::EventList list;  // stays empty: the rows go to standard output instead
    qzx::EventRecorder recorder(list, qzx::SystemClock());
    std::unique_ptr<qzx::DailyLog> log;
    if (!arguments->logDirectory.empty()) {
        qzx::LogLocations where;
        where.userLogDirectory =
            qzx::WithTrailingSeparator(AbsoluteFolder(arguments->logDirectory));
        log = std::make_unique<qzx::DailyLog>(qzx::SystemClock(), qzx::SystemFileSystem(), where,
                                              qzx::AppendGbk);
        if (log->CreateLogDirectory() != 1) {
            WriteErrLine("qzxwatch: cannot write the log folder " + where.userLogDirectory);
            return kExitBadArguments;
        }
        qzx::WriteLogTo(recorder, *log);
    }

    // Outlives the session, so that the snapshot of its end is saved before the program ends.
    // Without --catch-up it still keeps the run's view, for the recovery after an overflow.
    const std::string place = qzx::SystemSnapshotFolder();
    if (run.catchUp && place.empty()) {
        WriteErrLine("qzxwatch: --catch-up: no state folder (set HOME or XDG_STATE_HOME)");
        return kExitBadArguments;
    }
    auto catchUp = std::make_unique<qzx::CatchUp>(place, qzx::SystemFileSystem(), &qzx::ListTree,
                                                  qzx::SystemClock());

    SessionIo io;
    io.catchUp = catchUp.get();
    io.writeOut = WriteOut;
    io.writeErr = WriteErrLine;
    io.waitForStop = WaitForStopSignal;
    io.wake = WakeMain;
    io.utcOffsetMinutes = UtcOffsetMinutes;
    io.steadyMs = SteadyMs;
    io.gbk = qzx::AppendGbk;
    io.errIsJournal = ErrIsJournal();
    io.files = &qzx::SystemFileSystem();
    return RunWatchSession(run, AbsoluteFolder(arguments->folder), recorder,
                           &qzx::CreateChangeSource, io);
}
