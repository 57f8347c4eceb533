// Translation of the events of a file system mark for one folder's tree.
//
// The table maps folder handles to nodes (parent and name), so that a path is built by walking
// up to the watched folder and a folder's rename moves all that lies below it in one step. A
// folder enters the table when an event names it: from its creation event, which carries its
// handle, or, for one that existed before Start, by asking the file system where it is. That
// question has no answer once the folder is deleted, which is the usual case for the contents
// of a tree removed faster than the events are read: such events are kept.parked under their
// folder's handle until the folder's own deletion, which names its parent, places them.
#include <sys/fanotify.h>

#include <utility>

#include "watch/FanotifyTranslator.h"

namespace qzx {
namespace {

// Deeper than any path the system hands out (PATH_MAX is 4096 bytes); a parent chain longer
// than this has a loop in it, and its node is placed again.
constexpr int kMaxDepth = 4096;

std::string DirName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutSlash(const std::string& dir) {
    if (dir.empty()) return dir;
    return dir.substr(0, dir.size() - 1);
}

bool IsDirectory(const FanotifyEvent& event) { return (event.mask & FAN_ONDIR) != 0; }

}  // namespace

FanotifyEvent FanotifyTranslator::Parked::View() const {
    FanotifyEvent event;
    event.mask = mask;
    event.pid = pid;
    event.process = process;
    FanotifyEntry* entries[3] = {&event.entry, &event.from, &event.to};
    for (int i = 0; i < 3; ++i) {
        entries[i]->handle = handles[i];
        entries[i]->name = names[i];
        entries[i]->named = named[i];
    }
    event.object = handles[3];
    return event;
}

FanotifyTranslator::FanotifyTranslator(FanotifyAccess& access, ChangeSink& sink,
                                       ProcessCache* processes, FanotifyFeatures features)
    : access(access), sink(sink), processes(processes), features(features) {}

void FanotifyTranslator::Begin(const std::string& folder, const std::string& handle) {
    root = folder;
    if (root.empty() || root.back() != '/') root += '/';
    rootHandle = handle;
    nodes.clear();
    placeOf.clear();
    ForgetKept();
    rootNode = PlaceNode(rootHandle, kNoNode, "");
    const std::string parent = DirName(WithoutSlash(root));
    rootParentHandle = access.HandleOf(parent.empty() ? "/" : parent).value_or(std::string());
}

bool FanotifyTranslator::HandleEvents(const std::vector<FanotifyEvent>& events,
                                      Clock::time_point at) {
    now = at;
    for (const FanotifyEvent& one : events) {
        const FanotifyEvent* current = &one;
        FanotifyEvent rest;
        if (one.mask & FAN_OPEN_EXEC) {
            ProgramStarted(one);
            // The kernel merges a start into an unread change of the same file by the same
            // process (a program that rewrites itself): the change is still told.
            if (!(one.mask & ~static_cast<std::uint64_t>(FAN_OPEN_EXEC | FAN_ONDIR))) continue;
            rest = one;
            rest.mask &= ~static_cast<std::uint64_t>(FAN_OPEN_EXEC);
            current = &rest;
        }
        const FanotifyEvent& event = *current;
        if (event.mask & FAN_Q_OVERFLOW) {
            // The other half of a held move may be among the lost events.
            ResolveHeldMove();
            Flush();
            sink.OnOverflow();
            // Lost renames leave the table's paths in doubt; it is filled again as events come.
            Reset();
            continue;
        }
        if (EndsWatch(event)) {
            ResolveHeldMove();
            Flush();
            return false;
        }
        // A file's own event (its move, its link count) stands between the halves of its
        // move, and says nothing that its folder's events do not.
        if (kept.heldMove && event.entry.handle.empty() && !(event.mask & FAN_RENAME)) continue;
        if (kept.heldMove) {
            // Both halves of a move are queued back to back by the process that moved.
            if ((event.mask & FAN_MOVED_TO) && event.pid == kept.heldMove->pid &&
                IsDirectory(event) == kept.heldMove->isDirectory) {
                HeldMove from = std::move(*kept.heldMove);
                kept.heldMove.reset();
                PairMove(from, event);
                continue;
            }
            ResolveHeldMove();
        }
        HandleOne(event);
    }
    if (kept.parkedCount > 0) ExpireParked(now);
    Flush();
    return true;
}

void FanotifyTranslator::ProgramStarted(const FanotifyEvent& event) {
    if (!processes || event.pid <= 0 || event.entry.handle.empty() || !event.entry.named) return;
    std::optional<std::string> program = access.ProgramPath(event.entry.handle, event.entry.name);
    if (!program) return;
    processes->OnProgramStart(event.pid, event.process, event.pidfd, *program, now);
}

bool FanotifyTranslator::EndsWatch(const FanotifyEvent& event) const {
    if (!IsDirectory(event)) return false;
    if ((event.mask & (FAN_DELETE_SELF | FAN_MOVE_SELF)) && event.entry.handle == rootHandle &&
        (!event.entry.named || event.entry.name == ".")) {
        return true;
    }
    return (event.mask & (FAN_DELETE | FAN_RENAME | FAN_MOVED_FROM)) && !event.object.empty() &&
           event.object == rootHandle;
}

void FanotifyTranslator::HandleOne(const FanotifyEvent& event) {
    if (event.mask & FAN_RENAME) {
        HandleRename(event);
        return;
    }
    // Without a folder the event is a file's own (its link count at deletion, its move): its
    // folder's event tells the same with the name.
    if (event.entry.handle.empty()) return;
    if (!event.entry.named || event.entry.name.empty() || event.entry.name == ".") {
        HandleSelf(event);
        return;
    }
    HandleNamed(event);
}

void FanotifyTranslator::HandleNamed(const FanotifyEvent& event) {
    Located dir = Locate(event.entry.handle);
    const bool isDirectory = IsDirectory(event);
    if (dir.place == Place::Gone) {
        Park(event.entry.handle, event);
        return;
    }
    if (dir.place == Place::Outside) {
        if (isDirectory && !event.object.empty()) {
            // Placed now, a new folder outside costs nothing when its own changes come.
            if (event.mask & FAN_CREATE) MarkOutside(event.object);
            if (event.mask & FAN_DELETE) {
                Unpark(event.object, false);
                lookup.assign(event.object);
                auto it = placeOf.find(lookup);
                if (it != placeOf.end() && it->second == kOutside) {
                    placeOf.erase(it);
                    --kept.outsideCount;
                }
            }
        }
        return;
    }
    const std::string name(event.entry.name);
    const std::string path = dir.path + name;
    std::shared_ptr<const ProcessInfo> process = ProcessOf(event);
    if (event.mask & FAN_CREATE) {
        if (isDirectory && !event.object.empty() && dir.node != kNoNode) {
            PlaceNode(std::string(event.object), dir.node, name);
        }
        // The listing of a tree moved in may have reported it already.
        if (kept.listed.empty() || kept.listed.erase(path) == 0)
            Emit(kActionAdded, path, process, KindOf(isDirectory));
    }
    if (event.mask & FAN_MOVED_TO) HandleMovedTo(event, dir);
    if (event.mask & (FAN_MODIFY | FAN_ATTRIB)) {
        Emit(kActionModified, path, process, KindOf(isDirectory));
    }
    if (event.mask & FAN_DELETE) {
        if (isDirectory && !event.object.empty()) {
            // What happened inside it before it went comes before its own removal.
            if (kept.parked.count(std::string(event.object)) > 0 && dir.node != kNoNode) {
                PlaceNode(std::string(event.object), dir.node, name);
                Unpark(event.object, true);
            }
            int node = FindNode(event.object);
            if (node != kNoNode && node != rootNode) {
                nodes[node].dead = true;
                kept.deadNodes.push_back(node);
            }
        }
        Emit(kActionRemoved, path, process, KindOf(isDirectory));
    }
    if (event.mask & FAN_MOVED_FROM) {
        kept.heldMove = HeldMove{dir, name, isDirectory, event.pid, process};
        kept.heldMove->from.path = path;
    }
}

void FanotifyTranslator::HandleSelf(const FanotifyEvent& event) {
    // A folder's own removal or move is told by its parent's event, with its name.
    if (!(event.mask & (FAN_ATTRIB | FAN_MODIFY))) return;
    // The watched folder's own attributes are no change below it.
    if (event.entry.handle == rootHandle) return;
    Located dir = Locate(event.entry.handle);
    if (dir.place == Place::Gone) {
        Park(event.entry.handle, event);
        return;
    }
    if (dir.place != Place::Inside || dir.path.empty()) return;
    Emit(kActionModified, WithoutSlash(dir.path), ProcessOf(event), PathKind::kFolder);
}

void FanotifyTranslator::HandleRename(const FanotifyEvent& event) {
    if (event.from.handle.empty() || event.to.handle.empty()) return;
    Located from = Locate(event.from.handle);
    if (from.place == Place::Gone) {
        Park(event.from.handle, event);
        return;
    }
    Located to = Locate(event.to.handle);
    if (to.place == Place::Gone) {
        Park(event.to.handle, event);
        return;
    }
    const bool isDirectory = IsDirectory(event);
    const std::string fromName(event.from.name);
    const std::string toName(event.to.name);
    if (isDirectory && !event.object.empty() && kept.parked.count(std::string(event.object)) > 0) {
        // Changes inside the folder that were made before the move, at its old place.
        if (from.place == Place::Inside && from.node != kNoNode) {
            PlaceNode(std::string(event.object), from.node, fromName);
        }
        Unpark(event.object, from.place == Place::Inside);
    }
    const bool fromInside = from.place == Place::Inside;
    const bool toInside = to.place == Place::Inside;
    if (!fromInside && !toInside) {
        if (isDirectory && !event.object.empty() && FindNode(event.object) == kNoNode) {
            MarkOutside(event.object);
        }
        return;
    }
    std::shared_ptr<const ProcessInfo> process = ProcessOf(event);
    if (fromInside && toInside) {
        Emit(kActionRenamedOld, from.path + fromName, process, KindOf(isDirectory));
        Emit(kActionRenamedNew, to.path + toName, process, KindOf(isDirectory));
        if (!isDirectory || event.object.empty()) return;
        int node = FindNode(event.object);
        if (node == kNoNode) return;  // never placed: nothing below it is either
        if (to.node == kNoNode) {
            Forget(node);
            return;
        }
        nodes[node].parent = to.node;
        nodes[node].name = toName;
        return;
    }
    if (fromInside) {
        Emit(kActionRemoved, from.path + fromName, process, KindOf(isDirectory));
        if (isDirectory && !event.object.empty()) MovedOut(event.object);
        return;
    }
    Emit(kActionAdded, to.path + toName, process, KindOf(isDirectory));
    if (isDirectory) {
        MovedIn(to.path + toName, std::string(event.object), to.node, toName, process);
    }
}

void FanotifyTranslator::HandleMovedTo(const FanotifyEvent& event, const Located& to) {
    const std::string name(event.entry.name);
    const std::string path = to.path + name;
    std::shared_ptr<const ProcessInfo> process = ProcessOf(event);
    Emit(kActionAdded, path, process, KindOf(IsDirectory(event)));
    if (IsDirectory(event)) MovedIn(path, std::string(), to.node, name, process);
}

void FanotifyTranslator::PairMove(const HeldMove& from, const FanotifyEvent& event) {
    Located to = Locate(event.entry.handle);
    if (to.place == Place::Gone) {
        kept.heldMove = from;
        ResolveHeldMove();
        Park(event.entry.handle, event);
        return;
    }
    const std::string name(event.entry.name);
    if (to.place == Place::Outside) {
        Emit(kActionRemoved, from.from.path, from.process, KindOf(from.isDirectory));
        if (!from.isDirectory) return;
        // Its handle is found where it went, so that nothing below it stays in the table.
        std::optional<std::string> toDir = access.FolderPath(event.entry.handle);
        std::optional<std::string> handle;
        if (toDir) handle = access.HandleOf(*toDir + "/" + name);
        if (handle) {
            MovedOut(*handle);
        } else {
            ForgetFolders();
        }
        return;
    }
    const std::string toPath = to.path + name;
    Emit(kActionRenamedOld, from.from.path, from.process, KindOf(from.isDirectory));
    Emit(kActionRenamedNew, toPath, from.process, KindOf(from.isDirectory));
    if (from.isDirectory) FollowFolderMove(toPath, to.node, name);
    // The kernel merges later events of the same name into this one (a change, its next move
    // away): they come after the arrival.
    FanotifyEvent rest = event;
    rest.mask &= ~static_cast<std::uint64_t>(FAN_MOVED_TO | FAN_CREATE);
    if (rest.mask & (FAN_MODIFY | FAN_ATTRIB | FAN_DELETE | FAN_MOVED_FROM)) HandleNamed(rest);
}

void FanotifyTranslator::FollowFolderMove(const std::string& toPath, int toNode,
                                          const std::string& name) {
    std::optional<std::string> handle = access.HandleOf(root + toPath);
    int node = handle ? FindNode(*handle) : kNoNode;
    if (!handle || (node != kNoNode && toNode == kNoNode)) {
        // Moved on already, or to a folder that is not in the table: what lies below it
        // cannot be followed.
        ForgetFolders();
        return;
    }
    if (node == kNoNode) return;
    nodes[node].parent = toNode;
    nodes[node].name = name;
}

void FanotifyTranslator::ResolveHeldMove() {
    if (!kept.heldMove) return;
    HeldMove from = std::move(*kept.heldMove);
    kept.heldMove.reset();
    Emit(kActionRemoved, from.from.path, from.process, KindOf(from.isDirectory));
    // Where it went is not known, so neither is where what lies below it is now.
    if (from.isDirectory) ForgetFolders();
}

void FanotifyTranslator::ReleaseHeldMove() {
    ResolveHeldMove();
    Flush();
}

void FanotifyTranslator::MovedIn(const std::string& path, const std::string& objectHandle,
                                 int parentNode, const std::string& name,
                                 const std::shared_ptr<const ProcessInfo>& process) {
    // Its folders may have been placed outside before; they are asked about again, and their
    // changes heard again before the listing, so that nothing made in them after it is lost.
    ForgetOutside();
    HearAllFolders();
    if (!objectHandle.empty() && parentNode != kNoNode) PlaceNode(objectHandle, parentNode, name);
    ListMovedIn(path, process);
}

void FanotifyTranslator::MovedOut(std::string_view objectHandle) {
    int node = FindNode(objectHandle);
    // The folders below it lose their way to the watched folder, and are placed again when
    // they are next named.
    if (node != kNoNode) Forget(node);
    MarkOutside(objectHandle);
}

void FanotifyTranslator::ListMovedIn(const std::string& path,
                                     const std::shared_ptr<const ProcessInfo>& process) {
    std::vector<std::string> pending{path};
    std::vector<std::pair<std::string, bool>> entries;
    while (!pending.empty()) {
        std::string folder = std::move(pending.back());
        pending.pop_back();
        entries.clear();
        if (!access.ListFolder(root + folder, entries)) continue;
        for (const auto& [entryName, isDirectory] : entries) {
            std::string child = folder + "/" + entryName;
            Emit(kActionAdded, child, process, KindOf(isDirectory));
            kept.listed.insert(child);
            // Nothing below a skipped folder can be kept: it need not be read at all.
            if (isDirectory && !(ignoreRules && ignoreRules->SkipsFolder(child))) {
                pending.push_back(std::move(child));
            }
        }
    }
}

FanotifyTranslator::Located FanotifyTranslator::Locate(std::string_view handle) {
    lookup.assign(handle.data(), handle.size());
    auto it = placeOf.find(lookup);
    if (it != placeOf.end()) {
        if (it->second == kOutside) return Located{Place::Outside, kNoNode, {}};
        const int node = it->second;
        std::optional<std::string> path = PathOf(node);
        if (path) return Located{Place::Inside, node, std::move(*path)};
        // Cut off from the watched folder when a folder above it moved out.
        Forget(node);
    }
    return Resolve(handle);
}

FanotifyTranslator::Located FanotifyTranslator::Resolve(std::string_view handle) {
    std::optional<std::string> path = access.FolderPath(handle);
    if (!path) return Located{Place::Gone, kNoNode, {}};
    if (*path + "/" == root) return Located{Place::Inside, rootNode, {}};
    if (path->compare(0, root.size(), root) != 0) {
        MarkOutside(handle);
        return Located{Place::Outside, kNoNode, {}};
    }
    const std::string relative = path->substr(root.size());
    // The folders between it and the first one already in the table enter it too, so that a
    // rename of any of them moves it along.
    std::vector<std::pair<std::string, std::string>> chain;
    chain.emplace_back(std::string(handle), BaseName(relative));
    std::string up = DirName(relative);
    int parent = rootNode;
    while (!up.empty()) {
        std::optional<std::string> upHandle = access.HandleOf(root + up);
        // Changed while it was looked at: this event keeps the path, the next one looks again.
        if (!upHandle) return Located{Place::Inside, kNoNode, relative + "/"};
        int known = FindNode(*upHandle);
        if (known != kNoNode) {
            if (PathOf(known)) {
                parent = known;
                break;
            }
            Forget(known);
        }
        chain.emplace_back(std::move(*upHandle), BaseName(up));
        up = DirName(up);
    }
    int node = parent;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        node = PlaceNode(it->first, node, it->second);
    }
    // The table follows the events, which may not have reached what the file system shows now
    // (a rename still queued): the path is the table's.
    std::optional<std::string> placed = PathOf(node);
    return Located{Place::Inside, node, placed ? std::move(*placed) : relative + "/"};
}

std::optional<std::string> FanotifyTranslator::PathOf(int node) const {
    const std::string* parts[64];
    std::vector<const std::string*> deep;
    std::size_t count = 0;
    std::size_t length = 0;
    int depth = 0;
    while (node != rootNode) {
        auto it = nodes.find(node);
        if (it == nodes.end() || ++depth > kMaxDepth) return std::nullopt;
        const std::string* name = &it->second.name;
        if (count < 64) {
            parts[count] = name;
        } else {
            deep.push_back(name);
        }
        ++count;
        length += name->size() + 1;
        node = it->second.parent;
    }
    std::string path;
    path.reserve(length);
    for (std::size_t i = count; i-- > 0;) {
        path += i < 64 ? *parts[i] : *deep[i - 64];
        path += '/';
    }
    return path;
}

int FanotifyTranslator::FindNode(std::string_view handle) {
    lookup.assign(handle.data(), handle.size());
    auto it = placeOf.find(lookup);
    return it == placeOf.end() || it->second == kOutside ? kNoNode : it->second;
}

int FanotifyTranslator::PlaceNode(const std::string& handle, int parent, const std::string& name) {
    auto [it, inserted] = placeOf.emplace(handle, kNoNode);
    if (!inserted && it->second >= 0) {
        // A folder is never its own parent; events that say so are not followed.
        if (it->second == parent) return it->second;
        Node& known = nodes[it->second];
        known.parent = parent;
        known.name = name;
        known.dead = false;
        return it->second;
    }
    if (!inserted) --kept.outsideCount;  // it was taken for an outside folder
    const int node = nextNode++;
    it->second = node;
    nodes.emplace(node, Node{parent, name, handle, false});
    return node;
}

void FanotifyTranslator::Forget(int node) {
    if (node == rootNode) return;
    auto it = nodes.find(node);
    if (it == nodes.end()) return;
    auto place = placeOf.find(it->second.handle);
    if (place != placeOf.end() && place->second == node) placeOf.erase(place);
    nodes.erase(it);
}

void FanotifyTranslator::MarkOutside(std::string_view handle) {
    if (kept.outsideCount >= kMaxOutside) ForgetOutside();
    auto [it, inserted] = placeOf.emplace(std::string(handle), kOutside);
    if (!inserted) return;
    ++kept.outsideCount;
    // The kernel drops what is made in it from now on; its moves still come, since one may
    // bring something into the tree. The watched folder's parent tells of its deletion.
    if (handle == rootParentHandle || handle.empty()) return;
    if (kept.ignoredCount >= kMaxIgnored) HearAllFolders();
    if (access.IgnoreFolder(handle)) ++kept.ignoredCount;
}

void FanotifyTranslator::HearAllFolders() {
    access.HearAllFolders();
    kept.ignoredCount = 0;
}

void FanotifyTranslator::ForgetOutside() {
    if (kept.outsideCount == 0) return;
    for (auto it = placeOf.begin(); it != placeOf.end();) {
        it = it->second == kOutside ? placeOf.erase(it) : std::next(it);
    }
    kept.outsideCount = 0;
}

void FanotifyTranslator::ForgetFolders() {
    for (auto it = nodes.begin(); it != nodes.end();) {
        if (it->first == rootNode) {
            ++it;
            continue;
        }
        placeOf.erase(it->second.handle);
        it = nodes.erase(it);
    }
    kept.deadNodes.clear();
}

void FanotifyTranslator::Reset() {
    ForgetFolders();
    // A lost move may have brought an ignored folder into the tree.
    ForgetKept();
}

void FanotifyTranslator::ForgetKept() {
    ForgetOutside();
    HearAllFolders();
    kept.Clear();
}

void FanotifyTranslator::OnQueueEmpty(Clock::time_point at) {
    now = at;
    kept.listed.clear();
    for (int node : kept.deadNodes) {
        auto it = nodes.find(node);
        if (it != nodes.end() && it->second.dead) Forget(node);
    }
    kept.deadNodes.clear();
    if (kept.parkedCount > 0) ExpireParked(now);
    if (processes) processes->OnQueueEmpty(now);
}

void FanotifyTranslator::Park(std::string_view handle, const FanotifyEvent& event) {
    // Only a folder's deletion that names the folder itself can place what waits in it.
    if (!features.targetHandles) return;
    if (kept.parkedCount >= kMaxParked) DropOldestParked();
    Parked waiting;
    waiting.mask = event.mask;
    waiting.pid = event.pid;
    waiting.process = event.process;
    const FanotifyEntry* entries[3] = {&event.entry, &event.from, &event.to};
    for (int i = 0; i < 3; ++i) {
        waiting.handles[i] = std::string(entries[i]->handle);
        waiting.names[i] = std::string(entries[i]->name);
        waiting.named[i] = entries[i]->named;
    }
    waiting.handles[3] = std::string(event.object);
    ParkedGroup& group = kept.parked[std::string(handle)];
    group.events.push_back(std::move(waiting));
    group.last = now;
    group.order = ++kept.parkCounter;
    kept.parkOrder.emplace_back(group.order, std::string(handle));
    ++kept.parkedCount;
    if (kept.parkOrder.size() > 2 * kept.parked.size() + 64) {
        std::deque<std::pair<std::uint64_t, std::string>> live;
        for (auto& entry : kept.parkOrder) {
            auto it = kept.parked.find(entry.second);
            if (it != kept.parked.end() && it->second.order == entry.first)
                live.push_back(std::move(entry));
        }
        kept.parkOrder = std::move(live);
    }
}

void FanotifyTranslator::DropOldestParked() {
    while (!kept.parkOrder.empty()) {
        auto [order, handle] = std::move(kept.parkOrder.front());
        kept.parkOrder.pop_front();
        auto it = kept.parked.find(handle);
        if (it == kept.parked.end() || it->second.order != order) continue;
        kept.parkedCount -= it->second.events.size();
        kept.parked.erase(it);
        return;
    }
}

void FanotifyTranslator::Unpark(std::string_view handle, bool inside) {
    auto it = kept.parked.find(std::string(handle));
    if (it == kept.parked.end()) return;
    std::vector<Parked> events = std::move(it->second.events);
    kept.parked.erase(it);
    kept.parkedCount -= events.size();
    for (const Parked& waiting : events) {
        FanotifyEvent event = waiting.View();
        if (inside) {
            HandleOne(event);
            continue;
        }
        // Outside, and so is whatever was deleted inside it.
        if (IsDirectory(event) && !event.object.empty()) Unpark(event.object, false);
    }
}

void FanotifyTranslator::ExpireParked(Clock::time_point at) {
    // A look over all groups now and then is enough for what only bounds memory.
    if (at - lastExpiry < std::chrono::seconds(1)) return;
    lastExpiry = at;
    for (auto it = kept.parked.begin(); it != kept.parked.end();) {
        if (at - it->second.last < kParkedFor) {
            ++it;
            continue;
        }
        kept.parkedCount -= it->second.events.size();
        it = kept.parked.erase(it);
    }
}

std::shared_ptr<const ProcessInfo> FanotifyTranslator::ProcessOf(const FanotifyEvent& event) {
    if (!processes) return nullptr;
    return processes->Find(event.pid, event.process, event.pidfd, now);
}

void FanotifyTranslator::Emit(int action, std::string name,
                              const std::shared_ptr<const ProcessInfo>& process, PathKind kind) {
    batch.emplace_back(action, std::move(name), kind);
    batch.back().process = process;
}

void FanotifyTranslator::Flush() {
    if (batch.empty()) return;
    reported += batch.size();
    sink.OnBatch(batch);
    batch.clear();
}

}  // namespace qzx
