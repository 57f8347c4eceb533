// Translation of inotify events for a whole tree of watched folders.
#include <sys/inotify.h>

#include <cerrno>
#include <utility>

#include "watch/InotifyTranslator.h"

namespace qzx {
namespace {

// Deeper than any real tree; stops a corrupted parent chain from looping for ever.
constexpr int kMaxDepth = 100000;

std::string WithoutSlash(const std::string& dir) {
    if (dir.empty()) return dir;
    return dir.substr(0, dir.size() - 1);
}

}  // namespace

InotifyTranslator::InotifyTranslator(DirectoryAccess& access, ChangeSink& sink)
    : access(access), sink(sink) {
    static_assert(WalksInOrder(), "RuleOf finds a walk's rule by its number");
}

void InotifyTranslator::Begin(int wd, FileTime start, FileTime rootArmedAt) {
    side = SideTables{};
    rootWd = wd;
    startTime = start;
    // Without stamps the walk reads no attributes to gather.
    if (listingTaker && start != kNoTime) gathered = std::make_unique<GatheredTree>(start);
    folders[wd] = Folder{};
    Queue({wd, Walk::Silent, start == kNoTime ? kNoTime : rootArmedAt, start});
}

bool InotifyTranslator::Skips(const std::string& path) const {
    return rules && rules->SkipsFolder(path);
}

void InotifyTranslator::SetIgnoreRules(std::shared_ptr<const IgnoreRules> newRules,
                                       FileTime changedAt) {
    rules = std::move(newRules);
    if (rootWd < 0) return;
    // Watched folders the new list skips go first, with everything below them (and what was
    // skipped there), so that only the skipped folders that remain are looked at again.
    struct Drop {
        int parent;
        std::string name;
        int wd;
    };
    std::vector<Drop> drops;
    std::vector<std::pair<int, std::string>> stack{{rootWd, std::string()}};
    while (!stack.empty()) {
        auto [wd, dir] = std::move(stack.back());
        stack.pop_back();
        auto it = folders.find(wd);
        if (it == folders.end()) continue;
        for (const auto& [name, child] : it->second.children) {
            std::string path = dir + name;
            if (Skips(path)) {
                drops.push_back({wd, name, child});
            } else {
                stack.emplace_back(child, path + '/');
            }
        }
    }
    for (const Drop& drop : drops) {
        const bool isNew = side.fresh.count(drop.wd) > 0;
        DropTree(drop.wd);
        side.skipped.emplace(std::make_pair(drop.parent, drop.name), isNew);
    }
    std::vector<std::pair<int, std::string>> kept;
    for (auto it = side.skipped.begin(); it != side.skipped.end();) {
        std::optional<std::string> dir = PathOf(it->first.first);
        if (!dir) {
            it = side.skipped.erase(it);
            continue;
        }
        if (!Skips(*dir + it->first.second)) kept.push_back(it->first);
        ++it;
    }
    for (const auto& [parent, name] : kept) {
        side.skipped.erase({parent, name});
        WatchChild(parent, name, Walk::Rearm, changedAt);
    }
    Flush();
}

void InotifyTranslator::Queue(const PendingList& item) {
    if (RuleOf(item.walk).setUp) ++side.setUpPending;
    side.pending.push_back(item);
}

std::optional<std::string> InotifyTranslator::PathOf(int wd) const {
    std::vector<const std::string*> parts;
    int depth = 0;
    while (wd != rootWd) {
        auto it = folders.find(wd);
        if (it == folders.end() || ++depth > kMaxDepth) return std::nullopt;
        parts.push_back(&it->second.name);
        wd = it->second.parent;
    }
    std::string path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        path += **it;
        path += '/';
    }
    return path;
}

bool InotifyTranslator::HandleEvents(const std::vector<InotifyEvent>& events) {
    for (const InotifyEvent& event : events) {
        if (event.mask & IN_Q_OVERFLOW) {
            // The partner of a held move may be among the lost events.
            ResolveHeldMove();
            Flush();
            sink.OnOverflow();
            StartRevisit();
            continue;
        }
        if (event.wd == rootWd &&
            (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT))) {
            ResolveHeldMove();
            Flush();
            return false;
        }
        if (side.heldMove) {
            // The kernel queues both halves of a move back to back, so anything else here
            // means the other half went outside the tree.
            if ((event.mask & IN_MOVED_TO) && event.cookie == side.heldMove->cookie) {
                HeldMove from = std::move(*side.heldMove);
                side.heldMove.reset();
                PairMove(from, event);
                continue;
            }
            ResolveHeldMove();
        }
        HandleOne(event);
    }
    Flush();
    return true;
}

void InotifyTranslator::HandleOne(const InotifyEvent& event) {
    if (event.mask & IN_IGNORED) {
        // The kernel dropped this watch (folder deleted, file system gone).
        DropTree(event.wd);
        return;
    }
    // A folder's own events repeat what its parent's watch reports under the folder's name.
    if (event.name.empty()) return;
    std::optional<std::string> dir = PathOf(event.wd);
    if (!dir) return;  // a folder that is no longer watched; its late events mean nothing
    const bool isDirectory = (event.mask & IN_ISDIR) != 0;
    if (event.mask & IN_MOVED_FROM) {
        side.heldMove = HeldMove{event.wd, event.cookie, isDirectory, std::string(event.name),
                                 *dir + std::string(event.name)};
        return;
    }
    if (event.mask & (IN_CREATE | IN_MOVED_TO)) {
        Appeared(event.wd, *dir, event.name, isDirectory);
        return;
    }
    if (event.mask & IN_DELETE) {
        Disappeared(event.wd, *dir, event.name, isDirectory);
        return;
    }
    if (event.mask & (IN_MODIFY | IN_ATTRIB)) {
        Emit(kActionModified, *dir + std::string(event.name), KindOf(isDirectory));
        return;
    }
    Emit(kActionOther, *dir + std::string(event.name), KindOf(isDirectory));
}

void InotifyTranslator::Appeared(int wd, const std::string& dir, std::string_view name,
                                 bool isDirectory) {
    std::string entry(name);
    auto freshIt = side.fresh.find(wd);
    if (freshIt != side.fresh.end() && !freshIt->second.present.insert(entry).second) {
        return;  // its folder's listing already reported it (and watched it, if a folder)
    }
    if (side.setUpAdded.erase({wd, entry}) > 0) {
        // The set-up walk reported it already, and watches a folder of that name.
        return;
    }
    Emit(kActionAdded, dir + entry, KindOf(isDirectory));
    if (isDirectory && !WatchChild(wd, entry, Walk::Report)) side.unwatchedNew.emplace(wd, entry);
}

void InotifyTranslator::Disappeared(int wd, const std::string& dir, std::string_view name,
                                    bool isDirectory) {
    std::string entry(name);
    auto freshIt = side.fresh.find(wd);
    if (freshIt != side.fresh.end()) freshIt->second.present.erase(entry);
    Emit(kActionRemoved, dir + entry, KindOf(isDirectory));
    if (isDirectory) DropChild(wd, entry);
}

void InotifyTranslator::PairMove(const HeldMove& from, const InotifyEvent& to) {
    std::optional<std::string> toDir = PathOf(to.wd);
    if (!toDir || to.name.empty()) {
        side.heldMove = from;
        ResolveHeldMove();
        return;
    }
    std::string newName(to.name);
    auto fromFresh = side.fresh.find(from.wd);
    if (fromFresh != side.fresh.end()) fromFresh->second.present.erase(from.name);
    auto toFresh = side.fresh.find(to.wd);
    if (toFresh != side.fresh.end()) toFresh->second.present.insert(newName);
    Emit(kActionRenamedOld, from.path, KindOf(from.isDirectory));
    Emit(kActionRenamedNew, *toDir + newName, KindOf(from.isDirectory));
    if (!from.isDirectory) return;
    // The kernel keeps a moved folder's watches; only our idea of their paths changes.
    auto oldParent = folders.find(from.wd);
    if (oldParent == folders.end()) return;
    auto child = oldParent->second.children.find(from.name);
    if (child == oldParent->second.children.end()) {
        // It was not watched at its old place: not reached yet by the set-up walk (nothing in
        // it is new), gone from there before its watch could be set up (all in it is new), or
        // skipped by the ignore rules (new when it appeared after Begin).
        bool isNew =
            side.fresh.count(from.wd) > 0 || side.unwatchedNew.erase({from.wd, from.name}) > 0;
        auto wasSkipped = side.skipped.find({from.wd, from.name});
        if (wasSkipped != side.skipped.end()) {
            isNew = isNew || wasSkipped->second;
            side.skipped.erase(wasSkipped);
        }
        if (!WatchChild(to.wd, newName, isNew ? Walk::Report : Walk::Silent) && isNew) {
            side.unwatchedNew.emplace(to.wd, newName);
        }
        return;
    }
    int wd = child->second;
    if (Skips(*toDir + newName)) {
        // Moved to where the rules skip it: watching it would only cost.
        const bool isNew = side.fresh.count(wd) > 0;
        DropTree(wd);
        side.skipped.emplace(std::make_pair(to.wd, newName), isNew);
        return;
    }
    Detach(wd);
    Attach(wd, to.wd, newName);
}

void InotifyTranslator::ResolveHeldMove() {
    if (!side.heldMove) return;
    HeldMove from = std::move(*side.heldMove);
    side.heldMove.reset();
    auto freshIt = side.fresh.find(from.wd);
    if (freshIt != side.fresh.end()) freshIt->second.present.erase(from.name);
    Emit(kActionRemoved, from.path, KindOf(from.isDirectory));
    // Out of the tree its watches would report changes that are none of ours.
    if (from.isDirectory) DropChild(from.wd, from.name);
}

void InotifyTranslator::ReleaseHeldMove() {
    ResolveHeldMove();
    Flush();
}

bool InotifyTranslator::WatchChild(int parentWd, const std::string& name, Walk walk,
                                   FileTime since) {
    const WalkRule& rule = RuleOf(walk);
    std::optional<std::string> parentDir = PathOf(parentWd);
    if (!parentDir) return false;
    const std::string path = *parentDir + name;
    if (Skips(path)) {
        // Left for a change of the list; the set-up walk's folders were there before Begin.
        side.skipped.emplace(std::make_pair(parentWd, name), rule.reportsContents);
        return true;
    }
    int wd = access.AddWatch(path);
    if (wd < 0) {
        int error = -wd;
        // Gone again, or replaced by something that is not a folder: nothing to watch.
        if (error == ENOENT || error == ENOTDIR || error == ELOOP) return false;
        if (error == ENOSPC) {
            if (!warnedLimit) Warn(WatchWarning::WatchLimit, path);
            warnedLimit = true;
            return false;
        }
        Warn(WatchWarning::UnreadableFolder, path);
        return false;
    }
    auto known = folders.find(wd);
    if (known != folders.end()) {
        if (rule.reportsContents) {
            // The set-up walk got there first and reported nothing, but what the folder held
            // before that is new all the same.
            if (side.fresh.emplace(wd, FreshFolder{}).second) Queue({wd, walk});
            return true;
        }
        // Found twice during a walk, or (after an overflow) moved while nobody looked.
        if (!rule.revisits || !side.revisited.insert(wd).second) return true;
        Folder& folder = known->second;
        if ((folder.parent != parentWd || folder.name != name) && !IsWithin(parentWd, wd)) {
            Detach(wd);
            Attach(wd, parentWd, name);
        }
        Queue({wd, walk});
        return true;
    }
    if (rule.since != Since::Given) since = rule.since == Since::Start ? startTime : kNoTime;
    // Taken after the watch is in place: a change stamped later than this was seen by it.
    const FileTime armedAt = since != kNoTime ? access.Now() : kNoTime;
    Attach(wd, parentWd, name);
    if (rule.reportsContents) side.fresh[wd];
    if (rule.revisits) side.revisited.insert(wd);
    Queue({wd, walk, armedAt, since});
    return true;
}

void InotifyTranslator::DoPendingWork(std::size_t budget) {
    while (budget > 0 && !side.pending.empty()) {
        // Depth first keeps the queue short in wide trees.
        PendingList item = side.pending.back();
        side.pending.pop_back();
        if (RuleOf(item.walk).setUp) --side.setUpPending;
        ListFolder(item, budget);
    }
    Flush();
    if (readySent) return;
    if (side.setUpPending > 0) {
        sink.OnArming(folders.size());
        return;
    }
    readySent = true;
    if (gathered) listingTaker(std::move(gathered));
    sink.OnReady();
}

void InotifyTranslator::ListFolder(const PendingList& item, std::size_t& budget) {
    if (folders.find(item.wd) == folders.end()) return;  // dropped while it waited
    std::optional<std::string> dir = PathOf(item.wd);
    if (!dir) return;
    std::vector<DirectoryEntry> entries;
    const WalkRule& rule = RuleOf(item.walk);
    const bool withTimes = rule.since != Since::None && item.armedAt != kNoTime;
    int error = access.ListDirectory(WithoutSlash(*dir), entries, withTimes);
    if (error != 0) {
        if (error != ENOENT && error != ENOTDIR && error != ELOOP) {
            Warn(WatchWarning::UnreadableFolder, WithoutSlash(*dir));
        }
        budget = budget > 1 ? budget - 1 : 0;
        return;
    }
    if (gathered && rule.setUp && withTimes) Gather(*dir, entries);
    FreshFolder* freshFolder = nullptr;
    if (rule.reportsContents) freshFolder = &side.fresh[item.wd];
    for (DirectoryEntry& entry : entries) {
        budget = budget > 1 ? budget - 1 : 0;
        if (freshFolder) {
            // Already reported by its own event: it is neither new nor unwatched.
            if (!freshFolder->present.insert(entry.name).second) continue;
            if (side.setUpAdded.count({item.wd, entry.name}) == 0)
                Emit(kActionAdded, *dir + entry.name, KindOf(entry.isDirectory));
        }
        if (withTimes) ReportSetUpChange(item.wd, *dir, entry, item.since, item.armedAt);
        if (entry.isDirectory) WatchChild(item.wd, entry.name, item.walk, item.since);
    }
    if (freshFolder) freshFolder->listed = true;
}

void InotifyTranslator::Gather(const std::string& dir, const std::vector<DirectoryEntry>& entries) {
    std::vector<SnapshotEntry> found;
    found.reserve(entries.size());
    for (const DirectoryEntry& entry : entries) {
        // A skipped folder is no part of the tree, as for every listing of it.
        if (entry.isDirectory && Skips(dir + entry.name)) continue;
        SnapshotEntry e;
        e.path = entry.name;
        e.kind = entry.isDirectory ? EntryKind::kFolder
                 : entry.isOther   ? EntryKind::kOther
                                   : EntryKind::kFile;
        e.size = entry.isDirectory ? 0 : entry.size;
        e.modified = entry.modified;
        e.changed = entry.changed;
        e.fileId = entry.fileId;
        found.push_back(std::move(e));
    }
    gathered->AddFolder(WithoutSlash(dir), std::move(found));
}

void InotifyTranslator::ReportSetUpChange(int wd, const std::string& dir,
                                          const DirectoryEntry& entry, FileTime since,
                                          FileTime armedAt) {
    // Stamped after Start (or the list's change) and before the folder's watch: no event will
    // tell of it. Stamps come in ticks of the clock, so a change within the tick of Start or of
    // the watch cannot be placed; it is left out rather than reported twice or from before.
    auto unseen = [&](FileTime t) { return t != kNoTime && t > since && t < armedAt; };
    if (unseen(entry.born)) {
        Emit(kActionAdded, dir + entry.name, KindOf(entry.isDirectory));
        side.setUpAdded.emplace(wd, entry.name);
        return;
    }
    // A folder's own stamp moves with its entries, which are reported for themselves.
    if (entry.isDirectory) return;
    if (unseen(entry.changed)) Emit(kActionModified, dir + entry.name, PathKind::kFile);
}

void InotifyTranslator::OnQueueEmpty() {
    // Both halves of any rename of these folders have been read by now, and so has the event
    // of every folder the set-up walk found.
    side.unwatchedNew.clear();
    side.setUpAdded.clear();
    for (auto it = side.fresh.begin(); it != side.fresh.end();) {
        if (it->second.listed) {
            it = side.fresh.erase(it);
        } else {
            ++it;
        }
    }
}

void InotifyTranslator::Attach(int wd, int parentWd, const std::string& name) {
    Folder& folder = folders[wd];
    folder.parent = parentWd;
    folder.name = name;
    auto parent = folders.find(parentWd);
    if (parent == folders.end()) return;
    auto [slot, inserted] = parent->second.children.emplace(name, wd);
    if (!inserted && slot->second != wd) {
        // The name now belongs to another folder; the old one's watch was lost unseen.
        int stale = slot->second;
        slot->second = wd;
        auto staleIt = folders.find(stale);
        if (staleIt != folders.end() && staleIt->second.parent == parentWd) {
            staleIt->second.parent = -1;
        }
    }
}

void InotifyTranslator::Detach(int wd) {
    auto it = folders.find(wd);
    if (it == folders.end()) return;
    auto parent = folders.find(it->second.parent);
    if (parent == folders.end()) return;
    auto slot = parent->second.children.find(it->second.name);
    if (slot != parent->second.children.end() && slot->second == wd) {
        parent->second.children.erase(slot);
    }
}

void InotifyTranslator::DropChild(int parentWd, const std::string& name) {
    side.skipped.erase({parentWd, name});
    auto parent = folders.find(parentWd);
    if (parent == folders.end()) return;
    auto slot = parent->second.children.find(name);
    if (slot == parent->second.children.end()) return;
    DropTree(slot->second);
}

void InotifyTranslator::DropTree(int wd) {
    if (wd == rootWd) return;
    Detach(wd);
    std::vector<int> stack{wd};
    while (!stack.empty()) {
        int current = stack.back();
        stack.pop_back();
        auto it = folders.find(current);
        if (it == folders.end()) continue;
        for (const auto& child : it->second.children) stack.push_back(child.second);
        for (auto s = side.skipped.lower_bound({current, std::string()});
             s != side.skipped.end() && s->first.first == current;) {
            s = side.skipped.erase(s);
        }
        folders.erase(it);
        side.fresh.erase(current);
        access.RemoveWatch(current);
    }
}

bool InotifyTranslator::IsWithin(int wd, int ancestorWd) const {
    int depth = 0;
    while (wd != rootWd && ++depth <= kMaxDepth) {
        if (wd == ancestorWd) return true;
        auto it = folders.find(wd);
        if (it == folders.end()) return false;
        wd = it->second.parent;
    }
    return wd == ancestorWd;
}

void InotifyTranslator::StartRevisit() {
    side.revisited.clear();
    side.revisited.insert(rootWd);
    Queue({rootWd, Walk::Revisit});
}

void InotifyTranslator::Emit(int action, std::string name, PathKind kind) {
    batch.push_back(ChangeRecord{action, std::move(name), kind});
}

void InotifyTranslator::Flush() {
    if (batch.empty()) return;
    sink.OnBatch(batch);
    batch.clear();
}

void InotifyTranslator::Warn(WatchWarning warning, const std::string& path) {
    Flush();
    sink.OnWarning(warning, path);
}

}  // namespace qzx
