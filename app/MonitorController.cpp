#include "app/MonitorController.h"

#include <condition_variable>
#include <thread>

#include "app/Texts.h"
#include "base/PathRules.h"
#include "records/IgnoreFile.h"

namespace qzx {

// Collects what the source reports; the GUI thread picks it up in Poll. Batches are recorded
// straight away, on the queue's thread.
class MonitorController::Sink final : public ChangeSink {
  public:
    explicit Sink(EventRecorder& r) : recorder(r) {}

    void Begin(int runToken) {
        std::lock_guard<std::mutex> lock(mutex);
        run = runToken;
        report = Report{};
    }

    void OnBatch(const ChangeBatch& batch) override {
        recorder.RecordBatch(RunToken(), batch);
        if (CatchUp* c = noter.load()) c->Note(batch);
        std::lock_guard<std::mutex> lock(mutex);
        if (onTreeFile) {
            for (const ChangeRecord& record : batch) {
                if (IsTreeIgnoreFile(record.name)) {
                    onTreeFile();
                    break;
                }
            }
        }
        Changed();
    }
    void Wake() {
        std::lock_guard<std::mutex> lock(mutex);
        Changed();
    }
    // The run's catch-up, told of every batch recorded; null for none.
    std::atomic<CatchUp*> noter{nullptr};
    // Called with the lock held, like onChange; null for none.
    void SetOnTreeFile(std::function<void()> changed) {
        std::lock_guard<std::mutex> lock(mutex);
        onTreeFile = std::move(changed);
    }
    void OnArming(std::size_t watchedFolders) override {
        std::lock_guard<std::mutex> lock(mutex);
        report.armed = watchedFolders;
        Changed();
    }
    void OnReady() override {
        if (CatchUp* c = noter.load()) c->SourceReady();
        std::lock_guard<std::mutex> lock(mutex);
        report.ready = true;
        Changed();
    }
    void OnOverflow() override {
        std::lock_guard<std::mutex> lock(mutex);
        ++report.overflows;
        Changed();
    }
    void OnWarning(WatchWarning warning, const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex);
        report.warnings.push_back({warning, path});
        Changed();
    }
    void OnEnded() override {
        std::lock_guard<std::mutex> lock(mutex);
        report.ended = true;
        Changed();
    }
    void SetOnChange(std::function<void()> changed) {
        std::lock_guard<std::mutex> lock(mutex);
        onChange = std::move(changed);
    }

    struct Report {
        std::size_t armed = 0;
        bool ready = false;
        int overflows = 0;
        bool ended = false;
        std::vector<std::pair<WatchWarning, std::string>> warnings;
    };
    // The progress count stays: it is a state, not an event.
    Report Take() {
        std::lock_guard<std::mutex> lock(mutex);
        Report taken = std::move(report);
        report = Report{};
        report.armed = taken.armed;
        report.ready = taken.ready;
        return taken;
    }

  private:
    int RunToken() {
        std::lock_guard<std::mutex> lock(mutex);
        return run;
    }

    // Under the mutex, so that a callback taken back is no longer running.
    void Changed() {
        if (onChange) onChange();
    }

    EventRecorder& recorder;
    std::mutex mutex;
    int run = 0;
    Report report;
    std::function<void()> onChange;
    std::function<void()> onTreeFile;
};

// Reads the tree's ignore files when asked, on its own thread, and hands the rules on. Asked
// again while reading, it reads once more afterwards; destroyed, it gives up the walk between
// two folders and its thread ends.
class MonitorController::TreeReader {
  public:
    using Apply = std::function<void(std::shared_ptr<const IgnoreRules>)>;
    TreeReader(const FileSystem& files, std::string top, std::shared_ptr<const IgnoreRules> user,
               Apply apply, bool readNow)
        : files(files),
          top(std::move(top)),
          user(std::move(user)),
          apply(std::move(apply)),
          pending(readNow),
          thread([this] { Run(); }) {}
    ~TreeReader() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        cancel = true;
        wake.notify_one();
        thread.join();
    }
    void Read() {
        std::lock_guard<std::mutex> lock(mutex);
        pending = true;
        wake.notify_one();
    }
    void SetUser(std::shared_ptr<const IgnoreRules> rules) {
        std::lock_guard<std::mutex> lock(mutex);
        user = std::move(rules);
        pending = true;
        wake.notify_one();
    }

  private:
    void Run() {
        for (;;) {
            std::shared_ptr<const IgnoreRules> mine;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [this] { return stop || pending; });
                if (stop) return;
                pending = false;
                mine = user;
            }
            const IgnoreRules none;
            std::shared_ptr<const IgnoreRules> rules =
                LoadTreeRules(files, top, mine ? *mine : none, &cancel);
            if (cancel) return;
            apply(rules->Empty() ? nullptr : std::move(rules));
        }
    }

    const FileSystem& files;
    const std::string top;
    std::mutex mutex;
    std::condition_variable wake;
    std::shared_ptr<const IgnoreRules> user;
    Apply apply;
    bool pending;
    bool stop = false;
    std::atomic<bool> cancel{false};
    std::thread thread;
};

MonitorController::MonitorController(EventRecorder& r, SourceFactory f, Prompts& p)
    : recorder(r),
      factory(std::move(f)),
      prompts(p),
      sink(std::make_unique<Sink>(r)),
      queue(std::make_unique<ChangeQueue>(*sink)) {}

void MonitorController::SetOnChange(std::function<void()> changed) {
    sink->SetOnChange(std::move(changed));
}

MonitorController::~MonitorController() {
    if (runCatchUp) runCatchUp->End();
    for (CatchUp* c : {catchUp, runCatchUp}) {
        if (c) c->SetOnChange(nullptr);
    }
    StopTreeReader();
    recorder.EndRun();
    if (source) source->Stop();
    queue->Stop(Backlog::Discard);
}

bool MonitorController::Browse(std::string& pathText) {
    std::string chosen;
    if (prompts.ChooseFolder(texts::kChooseFolder, chosen) != 1 || chosen.empty()) return false;
    pathText = chosen;
    return true;
}

bool MonitorController::StartMonitor(const std::string& pathText) {
    if (Running()) return false;
    if (pathText.size() < 2 || !IsAbsolutePath(pathText)) {
        prompts.ShowMessage(texts::kBadPath, MessageIcon::Information);
        return false;
    }
    const std::string folder = WithTrailingSeparator(pathText);
    std::unique_ptr<ChangeSource> started = factory();
    sink->Begin(recorder.BeginRun(folder));
    // Before Start, so that the set-up walk already leaves the skipped folders out.
    std::shared_ptr<const IgnoreRules> firstRules = ignoreRules;
    if (treeFiles != nullptr && treeFirstReadHere) {
        const IgnoreRules none;
        firstRules = LoadTreeRules(*treeFiles, folder, ignoreRules ? *ignoreRules : none);
        if (firstRules->Empty()) firstRules = nullptr;
        recorder.SetIgnoreRules(firstRules);
    } else if (treeFiles != nullptr) {
        // Until the reader has read them: not the last run's tree.
        recorder.SetIgnoreRules(ignoreRules);
    }
    if (started) started->SetIgnoreRules(firstRules);
    // The catch-up begins before the source, so that it hears of the source's OnReady.
    const bool queued = started && queue->Start();
    if (queued && catchUp) {
        sink->noter = catchUp;
        catchUp->Begin(folder, firstRules, *queue, catchUpCompares);
        started->ShareSetUpListing(catchUp->ListingTaker());
    }
    if (!queued || !started->Start(folder, *queue)) {
        if (queued && catchUp) catchUp->End(false);
        sink->noter = nullptr;
        recorder.EndRun();
        queue->Stop(Backlog::Discard);
        prompts.ShowMessage(texts::kBadPath, MessageIcon::Information);
        return false;
    }
    source = std::move(started);
    folderPath = folder;
    if (treeFiles != nullptr) StartTreeReader(!treeFirstReadHere);
    state = MonitorState::Arming;
    armedFolders = 0;
    ForgetTroubles();
    knownLogFailures = recorder.LogFailures();
    ignoredChanges = 0;
    engine = source->Engine();
    runCatchUp = catchUp;
    catchUpStatus = CatchUpStatus{};
    return true;
}

void MonitorController::StopMonitor(Backlog backlog) {
    // Before the queue stops: no record of the compare may come after it.
    if (runCatchUp) runCatchUp->End();
    // Ending the run first lets a batch that waits for a list-wide operation give up at once.
    if (backlog == Backlog::Discard) recorder.EndRun();
    StopTreeReader();
    if (source) {
        // Finishing also takes in what the system still held when asked.
        if (backlog == Backlog::Finish) {
            source->StopAfterDraining();
        } else {
            source->Stop();
        }
    }
    source.reset();
    queue->Stop(backlog);
    recorder.EndRun();
    sink->noter = nullptr;
    // One the window turned off during the run hears no more of this controller.
    if (runCatchUp && runCatchUp != catchUp) runCatchUp->SetOnChange(nullptr);
    runCatchUp = nullptr;
    sink->Take();
    // The changes drained by Finish were decided after the last Poll.
    ignoredChanges = recorder.IgnoredChanges();
    state = MonitorState::Stopped;
    ForgetTroubles();
}

void MonitorController::ForgetTroubles() {
    for (Trouble* trouble : {&lost, &unreadable, &watchLimit, &logLost}) {
        *trouble = Trouble{trouble->kind, 0, {}, {}};
    }
    logFailing = false;
    endedByItself = false;
}

void MonitorController::SetOptions(const MonitorOptions& options) { recorder.SetOptions(options); }

void MonitorController::SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules) {
    ignoreRules = std::move(rules);
    // The tree's files stay in force: the reader puts the new list after them.
    if (treeReader) {
        treeReader->SetUser(ignoreRules);
        return;
    }
    ApplyRules(ignoreRules);
}

void MonitorController::SetTreeIgnoreFiles(const FileSystem* files, bool firstReadHere) {
    const bool was = treeFiles != nullptr;
    treeFiles = files;
    treeFirstReadHere = firstReadHere;
    if (!Running() || was == (files != nullptr)) return;
    if (files != nullptr) {
        StartTreeReader(true);
    } else {
        StopTreeReader();
        ApplyRules(ignoreRules);
    }
}

void MonitorController::StartTreeReader(bool readNow) {
    treeReader = std::make_unique<TreeReader>(
        *treeFiles, folderPath, ignoreRules,
        [this](std::shared_ptr<const IgnoreRules> rules) { ApplyRules(std::move(rules)); },
        readNow);
    sink->SetOnTreeFile([reader = treeReader.get()] { reader->Read(); });
}

void MonitorController::StopTreeReader() {
    sink->SetOnTreeFile(nullptr);
    treeReader.reset();
}

// On the GUI thread, or on the tree reader's while the source lives.
void MonitorController::ApplyRules(std::shared_ptr<const IgnoreRules> rules) {
    recorder.SetIgnoreRules(rules);
    if (source) source->SetIgnoreRules(std::move(rules));
}

void MonitorController::ClearEvents() { recorder.ClearEvents(); }

void MonitorController::SetCatchUp(CatchUp* c, bool compareAtStart) {
    if (catchUp && catchUp != runCatchUp && catchUp != c) catchUp->SetOnChange(nullptr);
    catchUp = c;
    catchUpCompares = compareAtStart;
    if (catchUp) catchUp->SetOnChange([this] { sink->Wake(); });
}

bool MonitorController::PollCatchUp() {
    // The save after a stop reports after the run: the last run's catch-up is still asked.
    CatchUp* asked = runCatchUp ? runCatchUp : catchUp;
    if (!asked) return false;
    bool changed = false;
    CatchUpStatus now = asked->Status(&changed);
    if (!changed) return false;
    catchUpStatus = now;
    return true;
}

void MonitorController::Seen(Trouble& trouble, int times, const std::string& path) {
    trouble.count += times;
    trouble.lastSeen = recorder.TimeSource().Now();
    if (!path.empty()) trouble.path = path;
}

bool MonitorController::Poll() {
    bool changed = PollCatchUp();
    if (!Running()) return changed;
    Sink::Report report = sink->Take();
    if (state == MonitorState::Arming && report.armed != armedFolders) {
        armedFolders = report.armed;
        changed = true;
    }
    for (const auto& [warning, path] : report.warnings) {
        Seen(warning == WatchWarning::WatchLimit ? watchLimit : unreadable, 1, folderPath + path);
        changed = true;
    }
    if (report.overflows > 0) {
        Seen(lost, report.overflows);
        if (runCatchUp) runCatchUp->Recover();
        changed = true;
    }
    // A source that hands its work to another before it is ready, or ends, says so then.
    if (report.ready && state == MonitorState::Arming) {
        state = MonitorState::Monitoring;
        engine = source->Engine();
        changed = true;
    }
    if (report.ended) {
        engine = source->Engine();
        StopMonitor();
        endedByItself = true;
        return true;
    }
    const std::size_t ignored = recorder.IgnoredChanges();
    if (ignored != ignoredChanges) {
        ignoredChanges = ignored;
        changed = true;
    }
    const int failures = recorder.LogFailures();
    if (failures != knownLogFailures) {
        Seen(logLost, failures - knownLogFailures);
        knownLogFailures = failures;
        changed = true;
    }
    // Lines failing before this run are no news of it.
    const bool failing =
        logLost.count > 0 && recorder.LogFailing() && recorder.Options().optRecordLog;
    if (failing != logFailing) {
        logFailing = failing;
        changed = true;
    }
    return changed;
}

ControlStates MonitorController::States() const {
    const bool running = Running();
    ControlStates s;
    s.startEnabled = !running;
    s.stopEnabled = running;
    s.browseEnabled = !running;
    s.pathEnabled = !running;
    return s;
}

MonitorStatus MonitorController::Status() const {
    MonitorStatus s;
    s.state = state;
    s.armedFolders = armedFolders;
    s.endedByItself = endedByItself;
    s.logFailing = logFailing;
    s.ignoredChanges = ignoredChanges;
    s.engine = engine;
    s.catchUp = catchUpStatus;
    if (!Running()) return s;
    for (const Trouble* trouble : {&lost, &unreadable, &watchLimit, &logLost}) {
        if (trouble->count > 0) s.troubles.push_back(*trouble);
    }
    return s;
}

StatusHeadline Headline(const MonitorStatus& status) {
    switch (status.state) {
        case MonitorState::Idle:
            return StatusHeadline::Idle;
        case MonitorState::Arming:
            return StatusHeadline::Arming;
        case MonitorState::Stopped:
            return StatusHeadline::Stopped;
        case MonitorState::Monitoring:
            break;
    }
    if (status.logFailing) return StatusHeadline::LogFailing;
    const auto met = [&](TroubleKind kind) {
        for (const Trouble& t : status.troubles) {
            if (t.kind == kind) return true;
        }
        return false;
    };
    if (met(TroubleKind::LostChanges)) return StatusHeadline::Lost;
    if (met(TroubleKind::UnreadableFolder) || met(TroubleKind::WatchLimit)) {
        return StatusHeadline::Partial;
    }
    return StatusHeadline::Monitoring;
}

}  // namespace qzx
