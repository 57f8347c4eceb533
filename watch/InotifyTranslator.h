// Turns a stream of inotify events into change records for a whole tree, and keeps the table
// of watched folders that this needs. Makes no system call itself, so it can be fed made-up
// events in tests; the folder operations it needs go through DirectoryAccess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "watch/ChangeSource.h"
#include "watch/TreeLister.h"

namespace qzx {

/// One event as inotify delivers it; name points into the caller's buffer.
struct InotifyEvent {
    int wd = -1;
    std::uint32_t mask = 0;
    std::uint32_t cookie = 0;
    std::string_view name;
};

/// A time stamp of the file system, in nanoseconds since 1970; kNoTime when not known.
using FileTime = std::int64_t;
inline constexpr FileTime kNoTime = -1;

/// One entry of a folder listing.
struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    /// Its last change of content or attributes, and its birth; only when the listing was
    /// asked for times, and birth only where the file system keeps it.
    FileTime changed = kNoTime;
    FileTime born = kNoTime;
    /// What a snapshot of the tree keeps besides; only with times as well. Neither a file nor a
    /// folder (a link, a device) is other.
    bool isOther = false;
    std::uint64_t size = 0;
    FileTime modified = kNoTime;
    std::uint64_t fileId = 0;
};

/// The folder operations the translator needs. Paths are relative to the watched folder,
/// joined with "/", without a trailing "/"; "" is the watched folder itself.
class DirectoryAccess {
  public:
    virtual ~DirectoryAccess() = default;
    /// Watches one folder; returns the watch descriptor, or minus the errno value on failure.
    /// Watching a folder that is already watched returns its existing descriptor.
    virtual int AddWatch(const std::string& path) = 0;
    /// Stops watching; a descriptor the kernel already dropped is harmless.
    virtual void RemoveWatch(int wd) = 0;
    /// Lists a folder without "." and ".."; returns 0, or the errno value on failure. With
    /// withTimes each entry's time stamps are filled in as far as they can be read.
    virtual int ListDirectory(const std::string& path, std::vector<DirectoryEntry>& entries,
                              bool withTimes) = 0;
    /// The file system's clock now, rounded down to the tick with which it stamps changes: a
    /// change stamped earlier than this was made before the call.
    virtual FileTime Now() = 0;
};

/// Keeps the tree of watched folders and translates events into batches for a sink. Used by
/// one thread at a time.
class InotifyTranslator {
  public:
    /// Neither access nor sink is owned; both must outlive the translator.
    InotifyTranslator(DirectoryAccess& access, ChangeSink& sink);

    /// The ignore patterns (null: none). A folder they skip (IgnoreRules::SkipsFolder) is never
    /// watched nor listed, wherever the walks meet it. Called again while watching, the folders
    /// the new list skips stop being watched, and the skipped folders it keeps are watched and
    /// listed; of what they hold, only what was stamped after changedAt (the precise clock when
    /// the list changed) and before their watch is reported, as the set-up walk does: changes
    /// made while a folder was left out were left out with it.
    void SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules, FileTime changedAt = kNoTime);
    /// Hands what the set-up walk listed, as a snapshot listing, to take just before OnReady,
    /// so that a snapshot of the tree costs no second walk. Only with Begin's stamps (without
    /// them the walk reads no attributes, and take is never called). Before Begin.
    void ShareSetUpListing(SetUpListingTaker take) { listingTaker = std::move(take); }
    /// Registers the watched folder's own watch and queues the set-up walk of its subfolders.
    /// With startTime (the precise clock when watching was asked for) and rootArmedAt (Now()
    /// just after the watched folder's own watch was set), the walk reports what was stamped
    /// after Start in folders that were not watched yet; without them it reports nothing.
    void Begin(int rootWd, FileTime startTime = kNoTime, FileTime rootArmedAt = kNoTime);
    /// Handles the events of one read in order and hands their records to the sink as one batch
    /// (split around an overflow). A trailing move's first half is held back for the next call.
    /// Returns false when watching has ended (the watched folder went away); the sink has then
    /// been given everything but OnEnded.
    bool HandleEvents(const std::vector<InotifyEvent>& events);
    /// True while the first half of a move waits for its second half.
    bool HasHeldMove() const { return side.heldMove.has_value(); }
    /// Gives up waiting for the second half: the held move is reported as a removal.
    void ReleaseHeldMove();
    /// True while folders wait to be watched or listed.
    bool HasPendingWork() const { return !side.pending.empty(); }
    /// Lists queued folders until about budget entries were seen; one batch for what it found.
    /// Tells the sink how far the set-up walk got (OnArming), and OnReady once it is done.
    void DoPendingWork(std::size_t budget);
    /// True once every folder that existed at Begin is watched or was warned about.
    bool Ready() const { return readySent; }
    /// Tells that the kernel queue was empty after all pending work was done and with no move
    /// held: no event can repeat what a listing reported any more.
    void OnQueueEmpty();
    /// Number of folders currently watched.
    std::size_t WatchedCount() const { return folders.size(); }
    /// Relative path of a watched folder with a trailing "/" ("" for the root); empty optional
    /// for an unknown descriptor.
    std::optional<std::string> PathOf(int wd) const;

  private:
    enum class Walk { Silent, Report, Revisit, Rearm };
    // Which stamp a walk's listings report changes after.
    enum class Since {
        None,   // no stamps are read
        Start,  // the start of watching
        Given,  // the one the walk was queued with
    };
    // What a walk does with the folders it meets, one row per Walk in its order, as
    // kChangeKinds is for the kinds of change.
    struct WalkRule {
        Walk walk;
        // Ready waits until every folder of the walk is listed.
        bool setUp;
        // The folders are new: what they hold is reported as added, and kept in fresh so
        // that their entries' own events do not report it again; one the rules skip is new
        // when a later list keeps it.
        bool reportsContents;
        // After an overflow: each folder is listed once per overflow, and one found under
        // another name or parent is put where it is now.
        bool revisits;
        Since since;
    };
    static constexpr WalkRule kWalks[] = {
        // set-up: watch what exists; report only what changed after Start, before its watch
        {Walk::Silent, true, false, false, Since::Start},
        // a folder that appeared: report what it holds as added
        {Walk::Report, false, true, false, Since::None},
        // after an overflow: watch what was missed, fix moved paths, report nothing
        {Walk::Revisit, false, false, true, Since::None},
        // a folder the ignore list no longer skips: as set-up, from the list's change
        {Walk::Rearm, false, false, false, Since::Given},
    };
    static constexpr const WalkRule& RuleOf(Walk walk) { return kWalks[static_cast<int>(walk)]; }
    static constexpr bool WalksInOrder() {
        for (std::size_t i = 0; i < std::size(kWalks); ++i) {
            if (static_cast<std::size_t>(kWalks[i].walk) != i) return false;
        }
        return true;
    }
    struct Folder {
        int parent = -1;
        std::string name;
        std::unordered_map<std::string, int> children;
    };
    // A folder that appeared recently: names already reported as present, so that its listing
    // and the events of its entries do not both report one entry.
    struct FreshFolder {
        std::unordered_set<std::string> present;
        bool listed = false;
    };
    struct HeldMove {
        int wd = -1;
        std::uint32_t cookie = 0;
        bool isDirectory = false;
        std::string name;
        std::string path;
    };
    struct PendingList {
        int wd = -1;
        Walk walk = Walk::Silent;
        FileTime armedAt = kNoTime;  // set-up walk: when the folder's watch was in place
        FileTime since = kNoTime;    // set-up walk: changes stamped after this are reported
    };

    void HandleOne(const InotifyEvent& event);
    void Appeared(int wd, const std::string& dir, std::string_view name, bool isDirectory);
    void Disappeared(int wd, const std::string& dir, std::string_view name, bool isDirectory);
    void PairMove(const HeldMove& from, const InotifyEvent& to);
    void ResolveHeldMove();
    bool WatchChild(int parentWd, const std::string& name, Walk walk, FileTime since = kNoTime);
    bool Skips(const std::string& path) const;
    void ListFolder(const PendingList& item, std::size_t& budget);
    void Gather(const std::string& dir, const std::vector<DirectoryEntry>& entries);
    void ReportSetUpChange(int wd, const std::string& dir, const DirectoryEntry& entry,
                           FileTime since, FileTime armedAt);
    void Queue(const PendingList& item);
    void Attach(int wd, int parentWd, const std::string& name);
    void Detach(int wd);
    void DropChild(int parentWd, const std::string& name);
    void DropTree(int wd);
    bool IsWithin(int wd, int ancestorWd) const;
    void Emit(int action, std::string name, PathKind kind = PathKind::kUnknown);
    void Flush();
    void Warn(WatchWarning warning, const std::string& path);
    void StartRevisit();

    DirectoryAccess& access;
    ChangeSink& sink;
    int rootWd = -1;
    std::unordered_map<int, Folder> folders;
    std::shared_ptr<const IgnoreRules> rules;
    ChangeBatch batch;
    bool warnedLimit = false;
    FileTime startTime = kNoTime;
    bool readySent = false;
    SetUpListingTaker listingTaker;
    std::unique_ptr<GatheredTree> gathered;  // while the set-up walk runs, when shared

    // Everything kept between events besides the tree itself, with what fills each table,
    // what empties it and what bounds it. Begin starts from none of it.
    struct SideTables {
        // Filled by Queue (Begin, a folder that appeared or is kept again, an overflow),
        // emptied by DoPendingWork; at most a few entries per watched folder.
        std::deque<PendingList> pending;
        // How many of pending belong to the set-up walk.
        std::size_t setUpPending = 0;
        // Folders that appeared, with the entries reported as present in them: filled when one
        // is watched by a Report walk, an entry when it is reported; emptied of a listed folder
        // by OnQueueEmpty and of a folder that goes by DropTree; bound: the folders made since
        // the kernel's queue was last empty.
        std::unordered_map<int, FreshFolder> fresh;
        // Folders a revisit listed: filled by the revisit walk, emptied at the next overflow;
        // bound: the watched folders.
        std::unordered_set<int> revisited;
        // New folders renamed before they could be watched, so that where they went is new
        // too: filled when watching one fails, emptied by OnQueueEmpty (both halves of any
        // rename are read by then); bound: the folders made since the queue was last empty.
        std::set<std::pair<int, std::string>> unwatchedNew;
        // Entries the set-up walk reported as added: the folder may be reported as new as well
        // (made after Start, found by the walk before its own event was read), and its listing
        // must not add them a second time. Emptied by a folder's own event and by
        // OnQueueEmpty; bound: the entries listed since the queue was last empty.
        std::set<std::pair<int, std::string>> setUpAdded;
        // Folders left unwatched because the rules skip them, by parent and name, so that a
        // change of the list can watch them after all; true for one that appeared after Begin.
        // Filled where a walk or a move meets one, emptied when a list keeps it, it goes, or
        // its parent goes; bound: the skipped folders directly below watched ones.
        std::map<std::pair<int, std::string>, bool> skipped;
        // A move's first half until its second: filled by IN_MOVED_FROM, emptied by the next
        // event or ReleaseHeldMove; at most one.
        std::optional<HeldMove> heldMove;
    };
    SideTables side;
};

}  // namespace qzx
