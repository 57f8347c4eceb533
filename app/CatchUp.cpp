#include "app/CatchUp.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <utility>

#include "base/PathRules.h"

namespace qzx {
namespace {

std::uint64_t PathHash(const std::string& text) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

// Entries stamped after the listing began changed while nothing watched and may have been
// listed already changed: an unknown time makes the next compare report them rather than miss
// them. A stamp in the very tick the listing began belongs to a change made before the stop as
// likely as after it; the live row already told the first, so it is left as it is.
EncodedTree MarkChangedDuring(const EncodedTree& tree, StampNs startedAt) {
    if (startedAt == kNoStamp) return tree;
    TreeReader reader(tree);
    TreeEncoder encoder;
    SnapshotEntry entry;
    while (reader.Next(entry)) {
        if (entry.kind != EntryKind::kFolder && entry.changed > startedAt) {
            entry.changed = kNoStamp;
        }
        encoder.Add(entry);
    }
    return encoder.Take();
}

void MarkFound(ChangeBatch& records, std::uint8_t found) {
    for (ChangeRecord& record : records) record.found = found;
}

}  // namespace

std::string SnapshotFileFor(const std::string& snapshotFolder, const std::string& watchedFolder) {
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.snap",
                  static_cast<unsigned long long>(PathHash(watchedFolder)));
    return snapshotFolder + name;
}

CatchUp::CatchUp(std::string folder, FileSystem& f, TreeListerFn l, const Clock& c)
    : snapshotFolder(std::move(folder)), files(f), lister(std::move(l)), clock(c) {
    try {
        worker = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // Without a worker every job is refused: catch-up is then simply off.
    }
}

CatchUp::~CatchUp() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        quitting = true;
        ++run;
        queue = nullptr;
        for (auto it = jobs.begin(); it != jobs.end();) {
            it = it->kind == JobKind::Save ? it + 1 : jobs.erase(it);
        }
        if (busy && runningKind != JobKind::Save) cancel = true;
    }
    wake.notify_all();
    if (worker.joinable()) worker.join();
}

void CatchUp::Begin(const std::string& folder, std::shared_ptr<const IgnoreRules> rules,
                    ChangeQueue& q, bool catchUp) {
    std::unique_ptr<GatheredTree> stale;
    std::lock_guard<std::mutex> lock(mutex);
    if (!worker.joinable()) return;
    ++run;
    queue = &q;
    runFolder = folder;
    runRules = rules;
    runSaves = catchUp;
    stale = std::move(offered);
    status = CatchUpStatus{};
    status.active = true;
    status.comparing = catchUp;
    statusChanged = true;
    sourceReady = false;
    hasView = false;
    noted.clear();
    noteCount = 0;
    notedTooMany = false;
    jobs.push_back({JobKind::Begin, run, folder, std::move(rules), catchUp});
    wake.notify_all();
}

SetUpListingTaker CatchUp::ListingTaker() {
    std::lock_guard<std::mutex> lock(mutex);
    return [this, forRun = run](std::unique_ptr<GatheredTree> listing) {
        Offer(forRun, std::move(listing));
    };
}

void CatchUp::Offer(int forRun, std::unique_ptr<GatheredTree> listing) {
    std::lock_guard<std::mutex> lock(mutex);
    if (forRun != run) return;
    offered.swap(listing);
    offeredRun = forRun;
}

void CatchUp::Note(const ChangeBatch& batch) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!status.active) return;
    for (const ChangeRecord& record : batch) {
        if (record.found != kFoundLive) continue;
        noted[record.name] = ++noteCount;
        if (noted.size() <= kMaxNotedPaths) continue;
        // Too many to tell what they explain: the view is listed anew, and until then a
        // recovery gives nothing. What is named from here on is noted again, since the new
        // listing may come before its change.
        noted.clear();
        if (!notedTooMany && hasView && worker.joinable()) {
            jobs.push_back({JobKind::Rebase, run, {}, nullptr});
            wake.notify_all();
        }
        notedTooMany = true;
    }
}

void CatchUp::Recover() {
    std::lock_guard<std::mutex> lock(mutex);
    if (!status.active || !worker.joinable()) return;
    // One recovery waiting is enough: it sees whatever the later overflows hid too.
    for (const Job& job : jobs) {
        if (job.kind == JobKind::Recover && job.run == run) return;
    }
    jobs.push_back({JobKind::Recover, run, {}, nullptr});
    wake.notify_all();
}

void CatchUp::SourceReady() {
    std::lock_guard<std::mutex> lock(mutex);
    sourceReady = true;
    wake.notify_all();
}

void CatchUp::End(bool save) {
    std::unique_ptr<GatheredTree> untaken;
    std::lock_guard<std::mutex> lock(mutex);
    untaken = std::move(offered);
    if (!status.active) return;
    const int ended = run;
    ++run;
    queue = nullptr;
    status.comparing = false;
    // A save under way is what the next Start needs; anything else of the run is dropped.
    if (busy && runningKind != JobKind::Save) cancel = true;
    for (auto it = jobs.begin(); it != jobs.end();) {
        it = it->run == ended && it->kind != JobKind::Save ? jobs.erase(it) : it + 1;
    }
    if (save && runSaves) jobs.push_back({JobKind::Save, run, runFolder, runRules});
    wake.notify_all();
}

bool CatchUp::WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex);
    return idle.wait_for(lock, timeout, [this] { return jobs.empty() && !busy; });
}

void CatchUp::SetOnChange(std::function<void()> changed) {
    std::lock_guard<std::mutex> lock(notifyMutex);
    onChange = std::move(changed);
}

CatchUpStatus CatchUp::Status(bool* changed) {
    std::lock_guard<std::mutex> lock(mutex);
    if (changed) *changed = statusChanged;
    statusChanged = false;
    return status;
}

std::size_t CatchUp::HeldBytes() const {
    std::lock_guard<std::mutex> lock(mutex);
    return view.bytes.capacity();
}

void CatchUp::Run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return quitting || !jobs.empty(); });
        if (jobs.empty()) return;
        Job job = std::move(jobs.front());
        jobs.pop_front();
        busy = true;
        runningKind = job.kind;
        // A job of a run that ended is cancelled; a save is never.
        cancel = job.kind != JobKind::Save && job.run != run;
        lock.unlock();
        switch (job.kind) {
            case JobKind::Begin:
                DoBegin(job);
                break;
            case JobKind::Recover:
            case JobKind::Rebase:
                DoRecover(job);
                break;
            case JobKind::Save:
                DoSave(job);
                break;
        }
        {
            std::lock_guard<std::mutex> notifying(notifyMutex);
            if (onChange) onChange();
        }
        lock.lock();
        busy = false;
        if (jobs.empty()) idle.notify_all();
    }
}

void CatchUp::ForgetNotedBefore(std::size_t from) {
    for (auto it = noted.begin(); it != noted.end();) {
        it = it->second <= from ? noted.erase(it) : std::next(it);
    }
    notedTooMany = false;
}

bool CatchUp::Known(std::string_view path) const {
    if (notedTooMany) return true;
    // A record names a path and with it everything below: a folder's rename or deletion.
    for (;;) {
        if (noted.count(std::string(path))) return true;
        const std::size_t cut = path.rfind(kPathSeparator);
        if (cut == std::string_view::npos) return false;
        path = path.substr(0, cut);
    }
}

void CatchUp::HandOn(int jobRun, const ChangeBatch& records) {
    // In pieces that the queue can take, each once the one before was handed on, so that a
    // compare that finds many changes is not lost to the queue's own bound.
    std::size_t piece = 0;
    for (std::size_t at = 0; at < records.size(); at += piece) {
        ChangeQueue* q = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (jobRun != run || !queue) return;
            q = queue;
            piece = std::max<std::size_t>(
                2, std::min(ChangeQueue::kMaxRecordsPerBatch, q->MaxWaiting() / 2));
            piece = std::min(piece, records.size() - at);
            // A rename's two halves stay in one piece.
            if (at + piece < records.size() && records[at + piece].action == kActionRenamedNew) {
                ++piece;
            }
            const auto from = records.begin() + static_cast<std::ptrdiff_t>(at);
            q->OnBatch(ChangeBatch(from, from + static_cast<std::ptrdiff_t>(piece)));
        }
        while (!q->WaitUntilHandedOn(std::chrono::milliseconds(100))) {
            std::lock_guard<std::mutex> lock(mutex);
            if (jobRun != run) return;
        }
    }
}

std::size_t CatchUp::LeaveOutKnown(ChangeBatch& records) const {
    ChangeBatch kept;
    std::size_t rows = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const bool pair = records[i].action == kActionRenamedOld && i + 1 < records.size();
        const bool known = Known(records[i].name) || (pair && Known(records[i + 1].name));
        if (!known) {
            kept.push_back(std::move(records[i]));
            if (pair) kept.push_back(std::move(records[i + 1]));
            ++rows;
        }
        if (pair) ++i;
    }
    records = std::move(kept);
    return rows;
}

void CatchUp::DoBegin(const Job& job) {
    LoadedSnapshot saved;
    if (job.catchUp) ReadSaved(job.folder, saved);
    {
        // The set-up walk of the source goes first: the listing never delays "监控中..".
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return sourceReady || job.run != run || quitting; });
        if (job.run != run) return;
    }
    std::unique_ptr<GatheredTree> gathered;
    std::size_t listingFrom = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (offeredRun == job.run) gathered = std::move(offered);
        // The set-up walk began at Start, before any record: every path noted may have been
        // listed before its change. A listing of its own begins now.
        listingFrom = gathered ? 0 : noteCount;
    }
    TreeListing listing = gathered ? gathered->Take(job.rules.get(), kPathSeparator, cancel)
                                   : lister(job.folder, job.rules.get(), cancel);
    gathered.reset();
    // Outside the lock: the status and the recording thread never wait for a compare.
    TreeDifference found;
    if (job.catchUp && listing.complete && saved.problem == SnapshotProblem::kNone) {
        found = CompareTrees(saved.tree, listing.tree);
        MarkFound(found.changes, kFoundCatchUp);
    }
    saved.tree = EncodedTree{};

    std::unique_lock<std::mutex> lock(mutex);
    if (job.run != run) return;
    status.comparing = false;
    if (job.catchUp) status.problem = saved.problem;
    statusChanged = true;
    if (!listing.complete) {
        status.listingFailed = true;
        return;
    }
    if (job.catchUp && saved.problem == SnapshotProblem::kNone) {
        // Records of this run already name what changed since Start; the rest changed before.
        status.found = LeaveOutKnown(found.changes);
        status.compared = true;
        status.since = saved.header.savedAt;
    }
    view = std::move(listing.tree);
    hasView = true;
    ForgetNotedBefore(listingFrom);
    lock.unlock();
    HandOn(job.run, found.changes);
}

void CatchUp::ReadSaved(const std::string& folder, LoadedSnapshot& saved) {
    if (snapshotFolder.empty()) {
        saved.problem = SnapshotProblem::kUnreadable;
        return;
    }
    const std::string path = SnapshotFileFor(snapshotFolder, folder);
    std::string bytes;
    const ReadResult read = files.ReadWholeFile(path, kMaxSnapshotFileBytes, bytes);
    if (read == ReadResult::kRead) {
        saved = ParseSnapshotFile(bytes, folder);
    } else {
        saved.problem = read == ReadResult::kMissing    ? SnapshotProblem::kMissing
                        : read == ReadResult::kTooLarge ? SnapshotProblem::kTooLarge
                                                        : SnapshotProblem::kUnreadable;
    }
    // A damaged file is kept beside for whoever wants to look, and replaced at the next save.
    if (saved.problem != SnapshotProblem::kNone && saved.problem != SnapshotProblem::kMissing &&
        !bytes.empty()) {
        files.ReplaceFile(path + ".bad", bytes);
    }
}

void CatchUp::DoRecover(const Job& job) {
    std::string folder;
    std::shared_ptr<const IgnoreRules> rules;
    std::size_t listingFrom = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (job.run != run || !hasView) return;
        folder = runFolder;
        rules = runRules;
        listingFrom = noteCount;
    }
    // Lost changes must not be taken for changes the records named.
    TreeListing listing = lister(folder, rules.get(), cancel);
    if (!listing.complete) return;
    // What the source read before the listing ended is recorded (and noted) before the compare.
    ChangeQueue* q = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        q = queue;
    }
    if (q) q->WaitUntilHandedOn(std::chrono::milliseconds(2000));
    // Only the worker replaces the view, so it can be read here without the lock.
    const bool recovering = job.kind == JobKind::Recover;
    TreeDifference found;
    if (recovering) found = CompareTrees(view, listing.tree);
    MarkFound(found.changes, kFoundRecovered);

    std::unique_lock<std::mutex> lock(mutex);
    if (job.run != run) return;
    if (recovering) {
        status.recovered += LeaveOutKnown(found.changes);
        ++status.recoveries;
        statusChanged = true;
    }
    view = std::move(listing.tree);
    // Paths named while the listing ran may have been listed before their change.
    ForgetNotedBefore(listingFrom);
    lock.unlock();
    HandOn(job.run, found.changes);
}

void CatchUp::DoSave(const Job& job) {
    if (job.folder.empty()) return;
    TreeListing listing = lister(job.folder, job.rules.get(), cancel);
    bool failed = !listing.complete;
    // No state folder: nowhere to keep it (never the current folder).
    bool saveFailed = snapshotFolder.empty();
    if (!failed && !saveFailed) {
        SnapshotHeader header;
        header.folder = job.folder;
        header.takenAt = listing.startedAt;
        header.savedAt = clock.Now();
        const std::string bytes =
            SnapshotFileBytes(header, MarkChangedDuring(listing.tree, listing.startedAt));
        listing = TreeListing{};
        saveFailed = files.MakeFolders(snapshotFolder) != 1 ||
                     files.ReplaceFile(SnapshotFileFor(snapshotFolder, job.folder), bytes) != 1;
    }
    std::lock_guard<std::mutex> lock(mutex);
    status.listingFailed = failed;
    status.saveFailed = saveFailed;
    statusChanged = true;
}

}  // namespace qzx
