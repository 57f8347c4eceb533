// The loop of a qzxwatch run: it sleeps until the watcher has news, polls the controller and
// shows what changed; the rows are printed on the recording thread as they are recorded.
#include "app/cli/WatchSession.h"

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

#include "app/Prompts.h"
#include "app/cli/RowFormat.h"
#include "app/cli/StatusPrinter.h"
#include "base/PathRules.h"
#include "base/Wakeup.h"

namespace qzx::cli {
namespace {

// Without the duplicate window the loop only wakes for the watcher's news; this bounds the
// sleep all the same.
constexpr int kLongestSleepMs = 60000;

// The controller's messages are the refusals of a bad folder; they go to standard error.
class ErrorPrompts final : public Prompts {
  public:
    explicit ErrorPrompts(const SessionIo& i) : io(i) {}
    void ShowMessage(const std::string& text, MessageIcon) override { io.writeErr(text); }
    bool AskYesNo(const std::string&) override { return false; }
    int ChooseFolder(const std::string&, std::string&) override { return -1; }
    int ChooseSaveFile(const std::vector<FileFilter>&, std::string&) override { return 0; }

  private:
    const SessionIo& io;
};

// What the loop works with, all owned by RunWatchSession.
struct Loop {
    const WatchArguments& arguments;
    const SessionIo& io;
    EventRecorder& recorder;
    MonitorController& controller;
    Wakeup& wakeup;
    StatusPrinter& status;
    const std::atomic<bool>& outputFailed;
};

// Sleeps until the watcher has news or the duplicate window ends, then polls and shows the
// status; until a stop is asked for (kExitStopped), watching ends by itself or the output
// fails.
int WatchUntilStopped(const Loop& l) {
    long long windowStart = l.io.steadyMs();
    for (;;) {
        long long sleepMs = l.io.wake ? kLongestSleepMs : kPollPeriodMs;
        if (l.arguments.duplicateWindow) {
            const long long windowLeft =
                EventRecorder::kDuplicateWindowMs - (l.io.steadyMs() - windowStart);
            sleepMs = std::max(1LL, std::min(sleepMs, windowLeft));
        }
        if (l.io.waitForStop(static_cast<int>(sleepMs))) return kExitStopped;
        // The news of a burst is gathered for one poll period: until the wake-up is taken
        // below, nothing raises another one.
        if (l.io.wake && l.io.waitForStop(kPollPeriodMs)) return kExitStopped;
        l.wakeup.Take();
        l.controller.Poll();
        if (!l.controller.Running()) return kExitFolderGone;
        if (l.outputFailed.load()) return kExitOutputFailed;
        l.status.Show(l.controller.Status());
        if (l.arguments.duplicateWindow &&
            l.io.steadyMs() - windowStart >= EventRecorder::kDuplicateWindowMs) {
            windowStart = l.io.steadyMs();
            l.recorder.EndDuplicateWindow();
        }
    }
}

}  // namespace

int RunWatchSession(const WatchArguments& arguments, const std::string& folder,
                    EventRecorder& recorder, MonitorController::SourceFactory factory,
                    const SessionIo& io) {
    // Declared before the controller, so that they outlive any batch its teardown records.
    std::atomic<bool> outputFailed{false};
    const OutputForm form = arguments.form;
    ErrorPrompts prompts(io);
    // The loop sleeps until the watcher has news: nothing runs here while nothing happens.
    Wakeup wakeup;
    wakeup.SetNotify(io.wake);
    MonitorController controller(recorder, std::move(factory), prompts);
    controller.SetOnChange([&wakeup] { wakeup.Raise(); });
    recorder.SetRowHandler([&](std::vector<EventRow>&& rows, const LocalTime& when) {
        if (outputFailed.load()) return;
        const int offset = form == OutputForm::Json ? io.utcOffsetMinutes(when) : 0;
        std::string out;
        out.reserve(rows.size() * 96);
        AppendRows(rows, when, offset, form, arguments.showProcess, io.gbk, out);
        if (!io.writeOut(out)) outputFailed.store(true);
    });
    recorder.SetDuplicateWindow(arguments.duplicateWindow);
    recorder.SetOptions(arguments.options);
    controller.SetIgnoreRules(arguments.ignoreRules);
    // Read before the set-up walk, which then never enters a folder they ignore.
    if (arguments.treeIgnoreFiles) controller.SetTreeIgnoreFiles(io.files, true);
    StatusPrinter status(io.writeErr, io.errIsJournal);
    controller.SetCatchUp(io.catchUp, arguments.catchUp);

    if (!controller.StartMonitor(folder)) return kExitCannotWatch;
    status.Show(controller.Status());
    int code =
        WatchUntilStopped({arguments, io, recorder, controller, wakeup, status, outputFailed});
    // Every change made before the stop is printed and logged before the end; a watch that ended by
    // itself has handed over everything before it said so.
    if (controller.Running()) controller.StopMonitor(Backlog::Finish);
    // The snapshot is saved before the end, and a failure to save it is said.
    if (arguments.catchUp && io.catchUp) {
        io.catchUp->WaitIdle(std::chrono::hours(1));
        controller.Poll();
    }
    status.Show(controller.Status());
    if (code == kExitStopped && outputFailed.load()) code = kExitOutputFailed;
    return code;
}

}  // namespace qzx::cli
