// Turns the events of a file system mark into change records for one folder's tree. The mark
// reports every change of the file system, so the first thing asked of an event is whether its
// folder lies in the tree, by its handle, against a table of folders already placed; only an
// unknown handle costs a look at the file system. Makes no system call itself: the few file
// system operations it needs go through FanotifyAccess, so that tests feed it made-up events.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "watch/ChangeSource.h"
#include "watch/FanotifyParser.h"
#include "watch/ProcessCache.h"

namespace qzx {

/// The file system operations the translator needs. Paths are absolute, without a trailing
/// "/"; handles are as FanotifyEntry holds them.
class FanotifyAccess {
  public:
    virtual ~FanotifyAccess() = default;
    /// Where the folder with this handle is now; nullopt when it is gone (deleted, or cannot be
    /// opened any more).
    virtual std::optional<std::string> FolderPath(std::string_view handle) = 0;
    /// The handle of the folder at this path now; nullopt when there is none.
    virtual std::optional<std::string> HandleOf(const std::string& path) = 0;
    /// Lists a folder without "." and "..": each entry's name and whether it is a folder.
    /// False when it cannot be listed.
    virtual bool ListFolder(const std::string& path,
                            std::vector<std::pair<std::string, bool>>& entries) = 0;
    /// Asks the kernel to drop the changes made directly in this folder (not its moves) before
    /// they are queued; false when it will not. A folder that may lie in the tree is never
    /// asked about.
    virtual bool IgnoreFolder(std::string_view /*handle*/) { return false; }
    /// Forgets every folder IgnoreFolder asked about: their changes are queued again.
    virtual void HearAllFolders() {}
    /// Where the program file named in this folder is, on whichever file system the folder's
    /// handle names; nullopt when it cannot be told.
    virtual std::optional<std::string> ProgramPath(std::string_view folderHandle,
                                                   std::string_view name) {
        std::optional<std::string> folder = FolderPath(folderHandle);
        if (!folder) return std::nullopt;
        return *folder + "/" + std::string(name);
    }
};

/// What the kernel's group reports, which decides how moves are told.
struct FanotifyFeatures {
    /// One event with old and new name for a rename (Linux 5.17), rather than a pair of
    /// halves that has to be matched.
    bool renameEvents = true;
    /// Dirent events carry the handle of the entry itself (Linux 5.17): a new folder's handle
    /// is known from its creation, and a deleted one can be placed from its deletion.
    bool targetHandles = true;
};

/// Keeps the table of folders of the tree and translates events into batches for a sink. Used
/// by one thread at a time.
class FanotifyTranslator {
  public:
    using Clock = ProcessCache::Clock;
    /// Events in folders that are gone and not yet placed wait this long for the event that
    /// places them (their folder's deletion), then are taken to be outside the tree.
    static constexpr std::chrono::seconds kParkedFor{5};
    /// Such events kept at most; beyond it the oldest go.
    static constexpr std::size_t kMaxParked = 100000;
    /// Handles known to lie outside the tree kept at most; beyond it they are forgotten.
    static constexpr std::size_t kMaxOutside = 65536;
    /// Folders outside whose changes the kernel is asked to drop, at most; beyond it all are
    /// heard again, and asked about again as their changes come.
    static constexpr std::size_t kMaxIgnored = 8192;

    /// None of access, sink and processes is owned; all must outlive the translator. Without
    /// processes, records carry none.
    FanotifyTranslator(FanotifyAccess& access, ChangeSink& sink, ProcessCache* processes,
                       FanotifyFeatures features);

    /// root is the watched folder, absolute, with "/" at its end; rootHandle its handle.
    void Begin(const std::string& root, const std::string& rootHandle);
    /// Handles the events of one read in order, read at now, and hands their records to the
    /// sink as one batch (split around an overflow). Without rename events a trailing first
    /// half of a move is held back for the next call. Returns false when watching has ended
    /// (the watched folder was deleted or moved); the sink then has everything but OnEnded.
    bool HandleEvents(const std::vector<FanotifyEvent>& events, Clock::time_point now);
    /// True while the first half of a move waits for its second half.
    bool HasHeldMove() const { return kept.heldMove.has_value(); }
    /// Gives up waiting for the second half: the held move is reported as a removal.
    void ReleaseHeldMove();
    /// Tells that the kernel's queue was found empty: everything queued before the folders
    /// that were deleted went away has been read, so they can be forgotten.
    void OnQueueEmpty(Clock::time_point now);

    /// True while something is kept only until the queue is next found empty.
    bool WaitsForEmptyQueue() const {
        return !kept.listed.empty() || !kept.deadNodes.empty() || kept.parkedCount > 0 ||
               (processes && processes->WaitsForEmptyQueue());
    }

    /// The ignore patterns (null: none): a tree moved in is listed without entering the folders
    /// they skip. Filtering the records stays the recorder's job.
    void SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules) {
        ignoreRules = std::move(rules);
    }

    /// Folders of the tree whose handles are known, the watched folder included.
    std::size_t KnownFolders() const { return nodes.size(); }
    /// Handles known to lie outside the tree.
    std::size_t OutsideFolders() const { return kept.outsideCount; }
    /// Events waiting in folders that are gone.
    std::size_t ParkedEvents() const { return kept.parkedCount; }
    /// Records handed to the sink so far.
    std::size_t Reported() const { return reported; }

  private:
    static constexpr int kNoNode = -1;
    static constexpr int kOutside = -2;
    struct Node {
        int parent = kNoNode;
        std::string name;
        std::string handle;
        bool dead = false;  // deleted; kept until the events from before are read
    };
    enum class Place { Inside, Outside, Gone };
    struct Located {
        Place place = Place::Outside;
        int node = kNoNode;  // the folder's node when it was placed in the table
        std::string path;    // inside: relative, with "/" at its end ("" for the root)
    };
    // An event whose strings it owns, kept while its folder cannot be placed.
    struct Parked {
        std::uint64_t mask = 0;
        int pid = 0;
        ProcessState process = ProcessState::Unknown;
        std::string handles[4];  // entry, from, to, object
        std::string names[3];    // entry, from, to
        bool named[3] = {false, false, false};
        FanotifyEvent View() const;
    };
    struct ParkedGroup {
        std::vector<Parked> events;
        Clock::time_point last;
        std::uint64_t order = 0;  // when it was last added to, in parkOrder's count
    };
    struct HeldMove {
        Located from;
        std::string name;
        bool isDirectory = false;
        int pid = 0;
        std::shared_ptr<const ProcessInfo> process;
    };

    void ProgramStarted(const FanotifyEvent& event);
    void HandleOne(const FanotifyEvent& event);
    bool EndsWatch(const FanotifyEvent& event) const;
    void HandleNamed(const FanotifyEvent& event);
    void HandleSelf(const FanotifyEvent& event);
    void HandleRename(const FanotifyEvent& event);
    void HandleMovedTo(const FanotifyEvent& event, const Located& to);
    void PairMove(const HeldMove& from, const FanotifyEvent& to);
    void ResolveHeldMove();
    void FollowFolderMove(const std::string& toPath, int toNode, const std::string& name);
    void MovedIn(const std::string& path, const std::string& objectHandle, int parentNode,
                 const std::string& name, const std::shared_ptr<const ProcessInfo>& process);
    void MovedOut(std::string_view objectHandle);
    void ListMovedIn(const std::string& path, const std::shared_ptr<const ProcessInfo>& process);

    Located Locate(std::string_view handle);
    Located Resolve(std::string_view handle);
    std::optional<std::string> PathOf(int node) const;
    int FindNode(std::string_view handle);
    int PlaceNode(const std::string& handle, int parent, const std::string& name);
    void Forget(int node);
    void MarkOutside(std::string_view handle);
    void HearAllFolders();
    void ForgetOutside();
    void ForgetFolders();
    void Reset();

    void Park(std::string_view handle, const FanotifyEvent& event);
    void DropOldestParked();
    void ForgetKept();
    void Unpark(std::string_view handle, bool inside);
    void ExpireParked(Clock::time_point now);

    std::shared_ptr<const ProcessInfo> ProcessOf(const FanotifyEvent& event);
    void Emit(int action, std::string name, const std::shared_ptr<const ProcessInfo>& process,
              PathKind kind = PathKind::kUnknown);
    void Flush();

    FanotifyAccess& access;
    ChangeSink& sink;
    ProcessCache* processes;
    FanotifyFeatures features;
    std::shared_ptr<const IgnoreRules> ignoreRules;
    std::string root;  // absolute, with "/" at its end
    std::string rootHandle;
    // The watched folder's parent, whose deletions tell of the watched folder's own.
    std::string rootParentHandle;
    int rootNode = kNoNode;
    int nextNode = 0;
    std::unordered_map<int, Node> nodes;
    // Every handle placed so far: its node, or kOutside. One lookup tells an event's fate.
    std::unordered_map<std::string, int> placeOf;
    // What the translator keeps between events besides the table of the tree's folders, all in
    // one place: what fills each, what empties it, and what bounds it. Clear empties them all.
    struct Kept {
        // Handles found outside the tree (their entries in placeOf are kOutside): counted when
        // an event's folder is found outside; emptied when a folder moves in, on an overflow,
        // or when kMaxOutside is reached.
        std::size_t outsideCount = 0;
        // Folders outside whose changes the kernel drops: counted with each ignore mark;
        // emptied with the outside handles, or when kMaxIgnored is reached.
        std::size_t ignoredCount = 0;
        // Deleted folders of the tree, kept for the events queued before their deletion:
        // filled by a folder's deletion; emptied when the queue is found empty; at most the
        // table's size.
        std::vector<int> deadNodes;
        // Events in folders that were gone before they could be placed, by folder handle:
        // filled by Park; emptied by the folder's own deletion (Unpark), after kParkedFor,
        // on an overflow; at most kMaxParked events, the oldest group going first.
        std::unordered_map<std::string, ParkedGroup> parked;
        std::size_t parkedCount = 0;
        // The groups in the order they were added to, so that the cap drops the oldest without
        // a look at every group; an entry whose order is no longer its group's is skipped, and
        // it is compacted past twice the groups.
        std::deque<std::pair<std::uint64_t, std::string>> parkOrder;
        std::uint64_t parkCounter = 0;
        // Paths the listing of a tree moved in reported as added, while the events of their
        // own creation may still be queued: filled by ListMovedIn; emptied when the queue is
        // found empty or on an overflow; at most the entries of the trees moved in meanwhile.
        std::unordered_set<std::string> listed;
        // The first half of a move without rename events, until its second: set by a
        // MOVED_FROM; emptied by its MOVED_TO, by any other event, or after the wait; one.
        std::optional<HeldMove> heldMove;

        void Clear() {
            outsideCount = 0;
            ignoredCount = 0;
            deadNodes.clear();
            parked.clear();
            parkedCount = 0;
            parkOrder.clear();
            listed.clear();
            heldMove.reset();
        }
    };
    Kept kept;
    std::string lookup;  // reused for handle lookups, so that a lookup allocates nothing
    Clock::time_point now;
    Clock::time_point lastExpiry;
    ChangeBatch batch;
    std::size_t reported = 0;
};

}  // namespace qzx
