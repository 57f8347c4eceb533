// Lists the tree under a watched folder into a snapshot: one pass over every folder, the file
// IDs taken from the listing itself where the system gives them there.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "watch/IgnoreRules.h"
#include "watch/TreeSnapshot.h"

namespace qzx {

/// A tree as listed.
struct TreeListing {
    /// False when the watched folder itself could not be listed (or the listing was cancelled,
    /// or went past kMaxSnapshotEntries): then tree tells nothing.
    bool complete = false;
    EncodedTree tree;
    /// The precise real-time clock just before the listing began: an entry stamped later changed
    /// while it ran.
    StampNs startedAt = kNoStamp;
    /// Folders below that could not be listed; they are in tree, marked as not listed.
    std::size_t unlistedFolders = 0;
};

/// Lists folder (ending with the separator) and everything below it, in tree order, leaving
/// out the folders rules skip (IgnoreRules::SkipsFolder; null: none) with all they hold.
/// Follows no link. Returns early, incomplete, once cancel is set. Any thread; defined in the
/// platform layer.
TreeListing ListTree(const std::string& folder, const IgnoreRules* rules,
                     const std::atomic<bool>& cancel);

/// The platform's part of a listing: the entries of one folder (its path relative to the watched
/// folder, "" for the watched folder itself) with their attributes, in any order; false when it
/// cannot be listed.
using FolderLister =
    std::function<bool(const std::string& relative, std::vector<SnapshotEntry>& out)>;

/// The walk every platform's ListTree shares: depth first in tree order (a folder's entries
/// right after it, each folder's in byte order of their paths), the folders rules skip left out
/// with all they hold. startedAt is the platform's precise clock, read before the walk.
TreeListing WalkTree(const IgnoreRules* rules, char separator, StampNs startedAt,
                     const FolderLister& listFolder, const std::atomic<bool>& cancel);

/// A listing gathered folder by folder, in whatever order a walk that does more than list meets
/// the folders (the inotify set-up walk, which reads every entry's attributes anyway), and put in
/// tree order only when it is taken, so that the walk pays for no second one. One thread at a
/// time.
class GatheredTree {
  public:
    explicit GatheredTree(StampNs startedAt = kNoStamp) : startedAt(startedAt) {}
    /// The entries of one folder (relative to the watched folder, "" for itself), each entry's
    /// path its name alone; a folder given again replaces what it had. Past kMaxSnapshotEntries
    /// the gathering gives up: Take then says incomplete.
    void AddFolder(const std::string& relative, std::vector<SnapshotEntry> entries);
    /// The tree in tree order, as ListTree would list it; a folder below that was never given is
    /// in it as not listed. Empties this; cancel as for ListTree.
    TreeListing Take(const IgnoreRules* rules, char separator, const std::atomic<bool>& cancel);

  private:
    StampNs startedAt;
    // Each folder's entries encoded on their own (names only, so byte order is tree order):
    // held at the snapshot's size rather than as objects.
    std::unordered_map<std::string, EncodedTree> folders;
    std::uint64_t entries = 0;
    bool gaveUp = false;
};

/// The seam through which the core lists a tree, so that tests can hand it a made-up one.
using TreeListerFn = std::function<TreeListing(const std::string& folder, const IgnoreRules* rules,
                                               const std::atomic<bool>& cancel)>;

}  // namespace qzx
