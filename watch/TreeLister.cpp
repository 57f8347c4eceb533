// The order of a tree listing, the same on every platform: only reading one folder differs.
#include "watch/TreeLister.h"

#include <algorithm>
#include <utility>

namespace qzx {
namespace {

class Walk {
  public:
    Walk(const IgnoreRules* rules, char separator, const FolderLister& listFolder,
         const std::atomic<bool>& cancel)
        : encoder(separator), rules(rules), listFolder(listFolder), cancel(cancel) {}

    bool ListOne(const std::string& relative, std::vector<SnapshotEntry>& out) {
        if (!listFolder(relative, out)) return false;
        if (rules) {
            out.erase(std::remove_if(out.begin(), out.end(),
                                     [this](const SnapshotEntry& e) {
                                         return e.kind == EntryKind::kFolder &&
                                                rules->SkipsFolder(e.path);
                                     }),
                      out.end());
        }
        std::sort(out.begin(), out.end(),
                  [](const SnapshotEntry& a, const SnapshotEntry& b) { return a.path < b.path; });
        return true;
    }

    // A folder's listing is done with before its subfolders are read, so the depth of the tree
    // costs no descriptors.
    bool Descend(SnapshotEntry& folder, TreeListing& listing) {
        std::vector<SnapshotEntry> entries;
        folder.listed = ListOne(folder.path, entries);
        if (!folder.listed) ++listing.unlistedFolders;
        if (!encoder.Add(folder)) return false;
        return AddAll(entries, listing);
    }

    bool AddAll(std::vector<SnapshotEntry>& entries, TreeListing& listing) {
        for (SnapshotEntry& entry : entries) {
            if (cancel.load(std::memory_order_relaxed)) return false;
            if (entry.kind != EntryKind::kFolder) {
                if (!encoder.Add(entry)) return false;
                continue;
            }
            if (!Descend(entry, listing)) return false;
        }
        return true;
    }

    TreeEncoder encoder;

  private:
    const IgnoreRules* rules;
    const FolderLister& listFolder;
    const std::atomic<bool>& cancel;
};

}  // namespace

void GatheredTree::AddFolder(const std::string& relative, std::vector<SnapshotEntry> found) {
    if (gaveUp) return;
    entries += found.size();
    if (entries > kMaxSnapshotEntries) {
        gaveUp = true;
        folders.clear();
        return;
    }
    std::sort(found.begin(), found.end(),
              [](const SnapshotEntry& a, const SnapshotEntry& b) { return a.path < b.path; });
    TreeEncoder encoder;
    for (const SnapshotEntry& entry : found) encoder.Add(entry);
    folders[relative] = encoder.Take();
}

TreeListing GatheredTree::Take(const IgnoreRules* rules, char separator,
                               const std::atomic<bool>& cancel) {
    TreeListing listing;
    if (!gaveUp) {
        const FolderLister fromGathered = [this, separator](const std::string& relative,
                                                            std::vector<SnapshotEntry>& out) {
            auto it = folders.find(relative);
            if (it == folders.end()) return false;
            const std::string prefix = relative.empty() ? relative : relative + separator;
            TreeReader reader(it->second);
            SnapshotEntry entry;
            while (reader.Next(entry)) {
                entry.path.insert(0, prefix);
                out.push_back(entry);
            }
            folders.erase(it);
            return true;
        };
        listing = WalkTree(rules, separator, startedAt, fromGathered, cancel);
    }
    folders.clear();
    return listing;
}

TreeListing WalkTree(const IgnoreRules* rules, char separator, StampNs startedAt,
                     const FolderLister& listFolder, const std::atomic<bool>& cancel) {
    TreeListing listing;
    listing.startedAt = startedAt;
    Walk walk(rules, separator, listFolder, cancel);
    std::vector<SnapshotEntry> entries;
    if (!walk.ListOne("", entries) || !walk.AddAll(entries, listing)) return listing;
    listing.tree = walk.encoder.Take();
    listing.complete = true;
    return listing;
}

}  // namespace qzx
