#include "app/cli/WatchSession.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "app/Prompts.h"
#include "app/Texts.h"
#include "app/cli/RowFormat.h"
#include "base/PathRules.h"

namespace qzx::cli {
namespace {

constexpr int kPollPeriodMs = 50;

// What the source reported that the status line alone cannot say: how often and where.
struct Counters {
    std::atomic<long> overflows{0};
    std::mutex mutex;
    std::vector<std::pair<WatchWarning, std::string>> warnings;
};

// Counts on the way from the source to the controller's sink.
class CountingSink final : public ChangeSink {
  public:
    CountingSink(ChangeSink& n, Counters& c) : next(n), counters(c) {}
    void OnBatch(const ChangeBatch& batch) override { next.OnBatch(batch); }
    void OnOverflow() override {
        counters.overflows.fetch_add(1);
        next.OnOverflow();
    }
    void OnWarning(WatchWarning warning, const std::string& path) override {
        {
            std::lock_guard<std::mutex> lock(counters.mutex);
            counters.warnings.emplace_back(warning, path);
        }
        next.OnWarning(warning, path);
    }
    void OnEnded() override { next.OnEnded(); }

  private:
    ChangeSink& next;
    Counters& counters;
};

// The platform's source with the counting sink in front of whatever sink it is started with.
class CountingSource final : public ChangeSource {
  public:
    CountingSource(std::unique_ptr<ChangeSource> i, Counters& c)
        : inner(std::move(i)), counters(c) {}
    bool Start(const std::string& folder, ChangeSink& sink) override {
        if (!inner) return false;
        counting = std::make_unique<CountingSink>(sink, counters);
        return inner->Start(folder, *counting);
    }
    void Stop() override {
        if (inner) inner->Stop();
    }

  private:
    std::unique_ptr<ChangeSource> inner;
    Counters& counters;
    std::unique_ptr<CountingSink> counting;
};

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

std::string WarningLine(WatchWarning warning, const std::string& folder, const std::string& path,
                        std::size_t count) {
    std::string line = texts::kStatusPartial;
    line += " (" + std::to_string(count) + ") ";
    line +=
        warning == WatchWarning::WatchLimit ? texts::kDetailWatchLimit : texts::kDetailUnreadable;
    line += folder + path;
    return line;
}

}  // namespace

int RunWatchSession(const WatchArguments& arguments, const std::string& folder,
                    EventRecorder& recorder, MonitorController::SourceFactory factory,
                    const SessionIo& io) {
    Counters counters;
    ChangeSource* started = nullptr;
    ErrorPrompts prompts(io);
    MonitorController controller(
        recorder,
        [&]() -> std::unique_ptr<ChangeSource> {
            auto source = std::make_unique<CountingSource>(factory(), counters);
            started = source.get();
            return source;
        },
        prompts);

    std::atomic<bool> outputFailed{false};
    const OutputForm form = arguments.form;
    std::string folderPath;
    recorder.SetRowHandler([&](std::vector<EventRow>&& rows, const LocalTime& when) {
        if (outputFailed.load()) return;
        const int offset = form == OutputForm::Json ? io.utcOffsetMinutes(when) : 0;
        std::string out;
        out.reserve(rows.size() * 96);
        AppendRows(rows, when, offset, form, folderPath, out);
        if (!io.writeOut(out)) outputFailed.store(true);
    });
    recorder.SetDuplicateWindow(arguments.duplicateWindow);
    recorder.SetOptions(arguments.options);

    std::string shownStatus;
    auto showStatus = [&] {
        const std::string status = controller.States().status;
        // Lost changes and unwatched parts get lines of their own, with a count.
        if (status == texts::kStatusLost || status == texts::kStatusPartial) return;
        if (status == shownStatus) return;
        shownStatus = status;
        io.writeErr(status);
    };

    folderPath = WithTrailingSeparator(folder);
    if (!controller.StartMonitor(folder)) return kExitCannotWatch;
    showStatus();

    long shownOverflows = 0;
    std::size_t shownWarnings = 0;
    long long windowStart = io.steadyMs();
    int code = kExitStopped;
    for (;;) {
        const bool stopAsked = io.waitForStop(kPollPeriodMs);
        if (stopAsked) {
            // The source's thread hands over everything it has read before it ends; the run
            // stays open meanwhile, so each of those records is still printed and logged.
            if (started) started->Stop();
        }
        controller.Poll();
        {
            std::lock_guard<std::mutex> lock(counters.mutex);
            for (; shownWarnings < counters.warnings.size(); ++shownWarnings) {
                const auto& [warning, path] = counters.warnings[shownWarnings];
                io.writeErr(WarningLine(warning, folderPath, path, shownWarnings + 1));
            }
        }
        if (const long overflows = counters.overflows.load(); overflows != shownOverflows) {
            shownOverflows = overflows;
            io.writeErr(std::string(texts::kStatusLost) + " (" + std::to_string(overflows) + ") " +
                        texts::kDetailLost);
        }
        if (stopAsked) break;
        if (controller.State() != MonitorState::Monitoring) {
            io.writeErr(texts::kDetailEnded);
            code = kExitFolderGone;
            break;
        }
        if (outputFailed.load()) {
            code = kExitOutputFailed;
            break;
        }
        showStatus();
        if (arguments.duplicateWindow &&
            io.steadyMs() - windowStart >= EventRecorder::kDuplicateWindowMs) {
            windowStart = io.steadyMs();
            recorder.EndDuplicateWindow();
        }
    }
    controller.StopMonitor();
    showStatus();
    if (code == kExitStopped && outputFailed.load()) code = kExitOutputFailed;
    return code;
}

}  // namespace qzx::cli
