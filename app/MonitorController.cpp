#include "app/MonitorController.h"

#include "base/PathRules.h"
#include "app/Texts.h"

namespace qzx {

// Collects what the source's thread reports; the GUI thread picks it up in Poll.
class MonitorController::Sink final : public ChangeSink {
  public:
    explicit Sink(EventRecorder& r) : recorder(r) {}

    void Begin(int runToken) {
        std::lock_guard<std::mutex> lock(mutex);
        run = runToken;
        overflowed = false;
        ended = false;
        warnings.clear();
    }

    void OnBatch(const ChangeBatch& batch) override { recorder.RecordBatch(RunToken(), batch); }
    void OnOverflow() override {
        std::lock_guard<std::mutex> lock(mutex);
        overflowed = true;
    }
    void OnWarning(WatchWarning warning, const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex);
        warnings.push_back({warning, path});
    }
    void OnEnded() override {
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
    }

    struct Report {
        bool overflowed = false;
        bool ended = false;
        std::vector<std::pair<WatchWarning, std::string>> warnings;
    };
    Report Take() {
        std::lock_guard<std::mutex> lock(mutex);
        Report r{overflowed, ended, std::move(warnings)};
        overflowed = false;
        ended = false;
        warnings.clear();
        return r;
    }

  private:
    int RunToken() {
        std::lock_guard<std::mutex> lock(mutex);
        return run;
    }

    EventRecorder& recorder;
    std::mutex mutex;
    int run = 0;
    bool overflowed = false;
    bool ended = false;
    std::vector<std::pair<WatchWarning, std::string>> warnings;
};

MonitorController::MonitorController(EventRecorder& r, SourceFactory f, Prompts& p)
    : recorder(r), factory(std::move(f)), prompts(p), sink(std::make_unique<Sink>(r)) {}

MonitorController::~MonitorController() {
    recorder.EndRun();
    if (source) source->Stop();
}

bool MonitorController::Browse(std::string& pathText) {
    std::string chosen;
    if (prompts.ChooseFolder(texts::kChooseFolder, chosen) != 1 || chosen.empty()) return false;
    pathText = chosen;
    return true;
}

bool MonitorController::StartMonitor(const std::string& pathText) {
    if (state == MonitorState::Monitoring) return false;
    if (pathText.size() < 2 || !IsAbsolutePath(pathText)) {
        prompts.ShowMessage(texts::kBadPath, MessageIcon::Information);
        return false;
    }
    const std::string folder = WithTrailingSeparator(pathText);
    std::unique_ptr<ChangeSource> started = factory();
    sink->Begin(recorder.BeginRun(folder));
    if (!started || !started->Start(folder, *sink)) {
        recorder.EndRun();
        prompts.ShowMessage(texts::kBadPath, MessageIcon::Information);
        return false;
    }
    source = std::move(started);
    folderPath = folder;
    state = MonitorState::Monitoring;
    notice.clear();
    noticeDetail.clear();
    knownLogFailures = recorder.LogFailures();
    return true;
}

void MonitorController::StopMonitor() {
    recorder.EndRun();
    if (source) source->Stop();
    source.reset();
    sink->Take();
    state = MonitorState::Stopped;
    notice.clear();
    noticeDetail.clear();
}

void MonitorController::SetOptions(const MonitorOptions& options) { recorder.SetOptions(options); }

void MonitorController::ClearEvents() { recorder.ClearEvents(); }

bool MonitorController::Poll() {
    bool changed = false;
    if (state == MonitorState::Monitoring) {
        Sink::Report report = sink->Take();
        for (const auto& [warning, path] : report.warnings) {
            notice = texts::kStatusPartial;
            noticeDetail += warning == WatchWarning::WatchLimit ? texts::kDetailWatchLimit
                                                                : texts::kDetailUnreadable;
            noticeDetail += folderPath + path + "\n";
            changed = true;
        }
        if (report.overflowed) {
            notice = texts::kStatusLost;
            noticeDetail += std::string(texts::kDetailLost) + "\n";
            changed = true;
        }
        if (report.ended) {
            StopMonitor();
            noticeDetail = texts::kDetailEnded;
            return true;
        }
    }
    if (notice == texts::kStatusLogFailing && !recorder.Options().optRecordLog) {
        notice.clear();
        changed = true;
    }
    const int failures = recorder.LogFailures();
    if (failures != knownLogFailures) {
        knownLogFailures = failures;
        if (recorder.Options().optRecordLog) {
            notice = texts::kStatusLogFailing;
            noticeDetail += std::string(texts::kDetailLogFailing) + "\n";
            changed = true;
        }
    }
    return changed;
}

ControlStates MonitorController::States() const {
    ControlStates s;
    const bool running = state == MonitorState::Monitoring;
    s.startEnabled = !running;
    s.stopEnabled = running;
    s.browseEnabled = !running;
    s.pathEnabled = !running;
    switch (state) {
        case MonitorState::Idle:
            s.status = texts::kStatusIdle;
            break;
        case MonitorState::Monitoring:
            s.status = texts::kStatusMonitoring;
            break;
        case MonitorState::Stopped:
            s.status = texts::kStatusStopped;
            break;
    }
    if (!notice.empty()) s.status = notice;
    s.statusDetail = noticeDetail;
    return s;
}

}  // namespace qzx
