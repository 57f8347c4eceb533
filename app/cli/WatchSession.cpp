#include "app/cli/WatchSession.h"

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

#include "app/Prompts.h"
#include "app/Texts.h"
#include "app/cli/RowFormat.h"
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

std::vector<std::string> DetailLines(const std::string& detail) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < detail.size()) {
        std::size_t to = detail.find('\n', from);
        if (to == std::string::npos) to = detail.size();
        if (to > from) lines.push_back(detail.substr(from, to - from));
        from = to + 1;
    }
    return lines;
}

}  // namespace

int RunWatchSession(const WatchArguments& arguments, const std::string& folder,
                    EventRecorder& recorder, MonitorController::SourceFactory factory,
                    const SessionIo& io) {
    // Declared before the controller, so that they outlive any batch its teardown records.
    std::atomic<bool> outputFailed{false};
    const OutputForm form = arguments.form;
    const std::string folderPath = WithTrailingSeparator(folder);
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
        AppendRows(rows, when, offset, form, folderPath, io.gbk, out);
        if (!io.writeOut(out)) outputFailed.store(true);
    });
    recorder.SetDuplicateWindow(arguments.duplicateWindow);
    recorder.SetOptions(arguments.options);

    // The window's status line and its tooltip, a line each time one of them changes; a line
    // of the tooltip carries its count, so a repeated trouble shows again with the new count.
    std::string shownStatus;
    std::vector<std::string> shownDetails;
    auto show = [&] {
        const ControlStates states = controller.States();
        if (states.status != shownStatus) {
            shownStatus = states.status;
            io.writeErr(states.status);
        }
        std::vector<std::string> details = DetailLines(states.statusDetail);
        for (const std::string& line : details) {
            // The set-up's progress would be a line every poll on a large tree.
            if (line.rfind(texts::kDetailArmingBefore, 0) == 0) continue;
            if (std::find(shownDetails.begin(), shownDetails.end(), line) == shownDetails.end()) {
                io.writeErr(line);
            }
        }
        shownDetails = std::move(details);
    };

    if (!controller.StartMonitor(folder)) return kExitCannotWatch;
    show();

    long long windowStart = io.steadyMs();
    int code = kExitStopped;
    for (;;) {
        long long sleepMs = io.wake ? kLongestSleepMs : kPollPeriodMs;
        if (arguments.duplicateWindow) {
            const long long windowLeft =
                EventRecorder::kDuplicateWindowMs - (io.steadyMs() - windowStart);
            sleepMs = std::max(1LL, std::min(sleepMs, windowLeft));
        }
        if (io.waitForStop(static_cast<int>(sleepMs))) break;
        // The news of a burst is gathered for one poll period: until the wake-up is taken
        // below, nothing raises another one.
        if (io.wake && io.waitForStop(kPollPeriodMs)) break;
        wakeup.Take();
        controller.Poll();
        if (!controller.Running()) {
            code = kExitFolderGone;
            break;
        }
        if (outputFailed.load()) {
            code = kExitOutputFailed;
            break;
        }
        show();
        if (arguments.duplicateWindow &&
            io.steadyMs() - windowStart >= EventRecorder::kDuplicateWindowMs) {
            windowStart = io.steadyMs();
            recorder.EndDuplicateWindow();
        }
    }
    // Every change made before the stop is printed and logged before the end; a watch that ended by
    // itself has handed over everything before it said so.
    if (controller.Running()) controller.StopMonitor(Backlog::Finish);
    show();
    if (code == kExitStopped && outputFailed.load()) code = kExitOutputFailed;
    return code;
}

}  // namespace qzx::cli
