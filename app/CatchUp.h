// What changed while nothing watched, and what an overflow hid: the tree's snapshot saved when a
// run ends, compared at the next Start on the same folder, and kept in memory during a run as
// the program's own view, against which the tree is compared again after changes were lost.
//
// How it works. One worker thread of its own does every listing, compare and save, one job
// after another, so the GUI thread only ever hands over a job and reads the outcome:
// - Begin (at Start): reads the folder's snapshot file, lists the tree, and hands what differs
//   to the run's queue as records marked kFoundCatchUp; the listing becomes the view. The
//   listing is the source's own set-up walk where it shares one (inotify's), so that the tree is
//   walked once. With catch-up off, only the view is made: recovery is for every run.
// - Recover (after an overflow): lists the tree again and compares it with the view; what
//   differs, less the paths that recorded changes already named (Note), is handed on marked
//   kFoundRecovered, and the new listing becomes the view.
// - End (at Stop and on destruction): lists the tree once more and saves it, in a temporary
//   file renamed over the old one (FileSystem::ReplaceFile).
// A job's records reach the queue under the mutex and only while its run is current, so that
// after End returns no record of that run is handed on. The destructor cancels the listings of
// Begin and Recover but lets a save finish: it is what the next Start needs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "base/Clock.h"
#include "records/FileSystem.h"
#include "watch/ChangeQueue.h"
#include "watch/ChangeSource.h"
#include "watch/IgnoreRules.h"
#include "watch/TreeLister.h"
#include "watch/TreeSnapshot.h"

namespace qzx {

/// What the snapshot did for the current (or last) run, as data for the status.
struct CatchUpStatus {
    /// Catch-up is on for the run.
    bool active = false;
    /// The compare at Start is still under way.
    bool comparing = false;
    /// The compare at Start is done: found changes since since.
    bool compared = false;
    std::size_t found = 0;
    LocalTime since;
    /// Why the snapshot found at Start could not be used; kMissing for a first run.
    SnapshotProblem problem = SnapshotProblem::kNone;
    /// The last save failed (the folder or the file could not be written): the old one stays.
    bool saveFailed = false;
    /// The tree was too large for a snapshot, or could not be listed.
    bool listingFailed = false;
    /// Changes recovered after overflows in this run, and how many recoveries ran.
    std::size_t recovered = 0;
    int recoveries = 0;
};

/// The snapshot's file for a watched folder: one per folder, named by a hash of its path.
std::string SnapshotFileFor(const std::string& snapshotFolder, const std::string& watchedFolder);

class CatchUp {
  public:
    /// snapshotFolder ends with the separator (made when missing); files and lister must outlive
    /// this. GUI thread.
    CatchUp(std::string snapshotFolder, FileSystem& files, TreeListerFn lister, const Clock& clock);
    /// Waits for a save under way; cancels the other jobs. Never kills the thread.
    ~CatchUp();
    CatchUp(const CatchUp&) = delete;
    CatchUp& operator=(const CatchUp&) = delete;

    /// A run starts on folder: the compare with the saved snapshot (with catchUp; without it,
    /// neither compare nor save, only the view for recovery), its records into queue. GUI
    /// thread; returns at once.
    void Begin(const std::string& folder, std::shared_ptr<const IgnoreRules> rules,
               ChangeQueue& queue, bool catchUp = true);
    /// For the run just begun: what the source's set-up walk listed, so that the tree is not
    /// listed again (ChangeSource::ShareSetUpListing). A listing of an earlier run is dropped.
    SetUpListingTaker ListingTaker();
    /// The recorded records of the run, so that the recovery leaves their paths to them. Any
    /// thread (the recording one).
    void Note(const ChangeBatch& batch);
    /// Changes were lost: compare the tree with the view. GUI thread; returns at once.
    void Recover();
    /// The change source of the run watches everything (its OnReady): the listing may begin, so
    /// that it never delays "监控中..". Any thread.
    void SourceReady();
    /// The run ended: no record of it is handed on after return; with save, the tree's snapshot
    /// is saved on the worker. GUI thread; returns at once.
    void End(bool save = true);
    /// Waits until every job handed over so far is done; false after timeout. Tests and the
    /// benchmark; not on a GUI thread.
    bool WaitIdle(std::chrono::milliseconds timeout);

    /// changed runs on the worker after each job whose outcome changed the status; it may only
    /// wake the GUI thread. Null for none. When it returns, the callback replaced is not running.
    void SetOnChange(std::function<void()> changed);
    /// The outcome so far; changed says whether it changed since the last call. Any thread.
    CatchUpStatus Status(bool* changed = nullptr);
    /// Bytes held for the view (the encoded listing). Any thread.
    std::size_t HeldBytes() const;

    /// Paths named by more records than this make the view be listed anew: until then a
    /// recovery could not tell what the records explain, and gives nothing.
    static constexpr std::size_t kMaxNotedPaths = 1000000;

  private:
    // Rebase: the view listed anew without a compare, once the records named too many paths.
    enum class JobKind { Begin, Recover, Rebase, Save };
    struct Job {
        JobKind kind;
        int run;
        std::string folder;
        std::shared_ptr<const IgnoreRules> rules;
        bool catchUp = true;
    };

    void Run();
    void DoBegin(const Job& job);
    // The folder's snapshot file, read and checked; a damaged one is set aside.
    void ReadSaved(const std::string& folder, LoadedSnapshot& saved);
    void DoRecover(const Job& job);
    void DoSave(const Job& job);
    bool Known(std::string_view path) const;
    // Forgets the paths noted before a listing began (number from): the listing shows them.
    void ForgetNotedBefore(std::size_t from);
    void Offer(int forRun, std::unique_ptr<GatheredTree> listing);
    // Hands records of the run jobRun to the queue, without the mutex held while it waits.
    void HandOn(int jobRun, const ChangeBatch& records);
    // Drops the records (a rename's two together) whose paths records of the run named; under
    // the mutex. Returns the rows that remain.
    std::size_t LeaveOutKnown(ChangeBatch& records) const;

    const std::string snapshotFolder;
    FileSystem& files;
    TreeListerFn lister;
    const Clock& clock;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Job> jobs;
    bool busy = false;
    bool sourceReady = false;
    JobKind runningKind = JobKind::Begin;
    bool quitting = false;
    std::atomic<bool> cancel{false};
    int run = 0;
    ChangeQueue* queue = nullptr;
    std::string runFolder;
    std::shared_ptr<const IgnoreRules> runRules;
    bool runSaves = false;
    // The source's set-up listing for the run offeredRun, until Begin's job takes it.
    std::unique_ptr<GatheredTree> offered;
    int offeredRun = -1;
    CatchUpStatus status;
    bool statusChanged = false;
    std::function<void()> onChange;  // under notifyMutex
    std::mutex notifyMutex;
    // The view: the last listing of the run, with the paths that records named since (each
    // with the number of the record, so that a recovery keeps those named during its listing).
    // Filled by Begin and Recover, emptied by End; bounded by kMaxSnapshotEntries and
    // kMaxNotedPaths.
    EncodedTree view;
    bool hasView = false;
    std::unordered_map<std::string, std::size_t> noted;
    std::size_t noteCount = 0;
    bool notedTooMany = false;
    std::thread worker;
};

}  // namespace qzx
