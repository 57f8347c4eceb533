// Lists the tree under a watched folder into a snapshot: one pass over every folder, the file
// IDs taken from the listing itself where the system gives them there.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
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

/// The seam through which the core lists a tree, so that tests can hand it a made-up one.
using TreeListerFn = std::function<TreeListing(const std::string& folder, const IgnoreRules* rules,
                                               const std::atomic<bool>& cancel)>;

}  // namespace qzx
