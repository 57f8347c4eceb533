#include "watch/TreeSnapshot.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

namespace qzx {
namespace {

constexpr char kMagic[8] = {'Q', 'Z', 'X', 'S', 'N', 'A', 'P', '\x1a'};
constexpr std::size_t kFormatBytes = 4;
constexpr std::size_t kCheckBytes = 8;
constexpr unsigned kUnlistedBit = 0x80;

void PutVarint(std::uint64_t value, std::string& out) {
    while (value >= 0x80) {
        out += static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

// Differences are taken modulo 2^64, so no value read from a file can overflow them.
void PutDifference(std::uint64_t now, std::uint64_t before, std::string& out) {
    const auto d = static_cast<std::int64_t>(now - before);
    PutVarint((static_cast<std::uint64_t>(d) << 1) ^ static_cast<std::uint64_t>(d >> 63), out);
}

void PutFixed(std::uint64_t value, int bytes, std::string& out) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A cursor over untrusted bytes: every read says whether the bytes held it.
struct Cursor {
    std::string_view bytes;
    std::size_t at = 0;

    std::size_t Left() const { return bytes.size() - at; }
    bool Varint(std::uint64_t& value) {
        value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (at >= bytes.size()) return false;
            const auto byte = static_cast<unsigned char>(bytes[at++]);
            value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
            if (!(byte & 0x80)) return shift < 63 || byte <= 1;
        }
        return false;
    }
    bool Difference(std::uint64_t before, std::uint64_t& value) {
        std::uint64_t z = 0;
        if (!Varint(z)) return false;
        value = before + ((z >> 1) ^ (~(z & 1) + 1));
        return true;
    }
    bool Fixed(int count, std::uint64_t& value) {
        if (Left() < static_cast<std::size_t>(count)) return false;
        value = 0;
        for (int i = 0; i < count; ++i) {
            value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at++])) << (8 * i);
        }
        return true;
    }
};

std::uint64_t CheckSum(std::string_view bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

// A path as a watched tree can hold it: no empty, "." or ".." component, no separator at
// either end.
bool IsTreePath(std::string_view path, char separator) {
    if (path.empty()) return false;
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = path.find(separator, begin);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(begin, end - begin);
        if (part.empty() || part == "." || part == "..") return false;
        begin = end + 1;
    }
    return true;
}

std::string_view ParentOf(std::string_view path, char separator) {
    const std::size_t cut = path.rfind(separator);
    return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut);
}

// A file system may give a deleted file's number to the next new one: a file only counts as
// moved when its size and modification time came along too. A folder's times change with what
// it holds, so for folders the kind must do.
bool SameFileMoved(const SnapshotEntry& was, const SnapshotEntry& now) {
    if (was.kind != now.kind) return false;
    return now.kind == EntryKind::kFolder || (was.size == now.size && was.modified == now.modified);
}

bool ContentDiffers(const SnapshotEntry& a, const SnapshotEntry& b) {
    if (a.fileId != 0 && b.fileId != 0 && a.fileId != b.fileId) return true;
    if (a.kind == EntryKind::kFolder) return false;
    return a.size != b.size || a.modified != b.modified || a.changed != b.changed;
}

}  // namespace

bool TreeOrderLess(std::string_view a, std::string_view b, char separator) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        // The separator sorts before every other byte, so that a folder's entries follow it.
        const unsigned x = a[i] == separator ? 0u : static_cast<unsigned char>(a[i]) + 1u;
        const unsigned y = b[i] == separator ? 0u : static_cast<unsigned char>(b[i]) + 1u;
        return x < y;
    }
    return a.size() < b.size();
}

bool TreeEncoder::Add(const SnapshotEntry& entry) {
    if (entry.path.empty() || tree.count >= kMaxSnapshotEntries) return false;
    if (tree.count > 0 && !TreeOrderLess(last.path, entry.path, separator)) return false;
    std::size_t shared = 0;
    const std::size_t n = std::min(last.path.size(), entry.path.size());
    while (shared < n && last.path[shared] == entry.path[shared]) ++shared;
    std::string& out = tree.bytes;
    PutVarint(shared, out);
    PutVarint(entry.path.size() - shared, out);
    out.append(entry.path, shared, std::string::npos);
    out +=
        static_cast<char>(static_cast<unsigned>(entry.kind) | (entry.listed ? 0u : kUnlistedBit));
    PutVarint(entry.size, out);
    PutDifference(static_cast<std::uint64_t>(entry.modified),
                  static_cast<std::uint64_t>(last.modified), out);
    PutDifference(static_cast<std::uint64_t>(entry.changed),
                  static_cast<std::uint64_t>(entry.modified), out);
    PutDifference(entry.fileId, last.fileId, out);
    ++tree.count;
    last = entry;
    return true;
}

EncodedTree TreeEncoder::Take() {
    // Held for the whole run as the view: without the slack of its growth.
    tree.bytes.shrink_to_fit();
    EncodedTree taken = std::move(tree);
    tree = EncodedTree{};
    last = SnapshotEntry{};
    return taken;
}

TreeReader::TreeReader(const EncodedTree& tree, char s)
    : bytes(tree.bytes), count(tree.count), separator(s) {}

bool TreeReader::Fail() {
    failed = true;
    return false;
}

bool TreeReader::Next(SnapshotEntry& entry) {
    if (failed) return false;
    if (read == count) return at == bytes.size() ? false : Fail();
    Cursor c{bytes, at};
    std::uint64_t shared = 0;
    std::uint64_t rest = 0;
    if (!c.Varint(shared) || !c.Varint(rest)) return Fail();
    if (shared > last.path.size() || rest > c.Left()) return Fail();
    std::string path = last.path.substr(0, shared);
    path.append(bytes.substr(c.at, rest));
    c.at += rest;
    if (c.Left() < 1) return Fail();
    const auto kindByte = static_cast<unsigned char>(bytes[c.at++]);
    const unsigned kind = kindByte & ~kUnlistedBit;
    if (kind > static_cast<unsigned>(EntryKind::kOther)) return Fail();
    const bool listed = !(kindByte & kUnlistedBit);
    if (!listed && kind != static_cast<unsigned>(EntryKind::kFolder)) return Fail();
    std::uint64_t size = 0;
    std::uint64_t modified = 0;
    std::uint64_t changed = 0;
    std::uint64_t fileId = 0;
    if (!c.Varint(size) || !c.Difference(static_cast<std::uint64_t>(last.modified), modified) ||
        !c.Difference(modified, changed) || !c.Difference(last.fileId, fileId)) {
        return Fail();
    }
    if (!IsTreePath(path, separator)) return Fail();
    if (read > 0 && !TreeOrderLess(last.path, path, separator)) return Fail();
    last.path = std::move(path);
    last.kind = static_cast<EntryKind>(kind);
    last.size = size;
    last.modified = static_cast<StampNs>(modified);
    last.changed = static_cast<StampNs>(changed);
    last.fileId = fileId;
    last.listed = listed;
    at = c.at;
    ++read;
    entry = last;
    return true;
}

std::string SnapshotFileBytes(const SnapshotHeader& header, const EncodedTree& tree) {
    std::string out(kMagic, sizeof kMagic);
    PutFixed(kSnapshotFormat, kFormatBytes, out);
    PutVarint(header.folder.size(), out);
    out += header.folder;
    PutFixed(static_cast<std::uint64_t>(header.takenAt), 8, out);
    const LocalTime& t = header.savedAt;
    for (const int part : {t.year, t.month, t.day, t.hour, t.minute, t.second}) {
        PutVarint(static_cast<std::uint32_t>(part), out);
    }
    PutVarint(tree.count, out);
    PutVarint(tree.bytes.size(), out);
    out.reserve(out.size() + tree.bytes.size() + kCheckBytes);
    out += tree.bytes;
    PutFixed(CheckSum(out), kCheckBytes, out);
    return out;
}

LoadedSnapshot ParseSnapshotFile(std::string_view bytes, std::string_view expectedFolder,
                                 char separator) {
    LoadedSnapshot loaded;
    const auto fail = [&loaded](SnapshotProblem problem) {
        loaded.problem = problem;
        loaded.tree = EncodedTree{};
        return loaded;
    };
    if (bytes.size() > kMaxSnapshotFileBytes) return fail(SnapshotProblem::kTooLarge);
    const std::size_t opening = std::min(bytes.size(), sizeof kMagic);
    if (std::memcmp(bytes.data(), kMagic, opening) != 0) return fail(SnapshotProblem::kCorrupt);
    Cursor c{bytes, opening};
    std::uint64_t format = 0;
    if (opening < sizeof kMagic || !c.Fixed(kFormatBytes, format)) {
        return fail(SnapshotProblem::kTruncated);
    }
    // A later format may lay out everything after this differently: nothing else is read.
    if (format > kSnapshotFormat) return fail(SnapshotProblem::kNewerFormat);
    if (format == 0) return fail(SnapshotProblem::kCorrupt);
    std::uint64_t folderSize = 0;
    if (!c.Varint(folderSize)) return fail(SnapshotProblem::kTruncated);
    if (folderSize > c.Left()) return fail(SnapshotProblem::kTruncated);
    loaded.header.folder = std::string(bytes.substr(c.at, folderSize));
    c.at += folderSize;
    std::uint64_t takenAt = 0;
    if (!c.Fixed(8, takenAt)) return fail(SnapshotProblem::kTruncated);
    loaded.header.takenAt = static_cast<StampNs>(takenAt);
    LocalTime& t = loaded.header.savedAt;
    for (int* part : {&t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second}) {
        std::uint64_t value = 0;
        if (!c.Varint(value)) return fail(SnapshotProblem::kTruncated);
        if (value > 9999) return fail(SnapshotProblem::kCorrupt);
        *part = static_cast<int>(value);
    }
    std::uint64_t count = 0;
    std::uint64_t bodySize = 0;
    if (!c.Varint(count) || !c.Varint(bodySize)) return fail(SnapshotProblem::kTruncated);
    if (count > kMaxSnapshotEntries) return fail(SnapshotProblem::kCorrupt);
    if (bodySize > c.Left() || c.Left() - bodySize < kCheckBytes) {
        return fail(SnapshotProblem::kTruncated);
    }
    if (c.Left() - bodySize > kCheckBytes) return fail(SnapshotProblem::kCorrupt);
    const std::size_t bodyAt = c.at;
    c.at += bodySize;
    std::uint64_t sum = 0;
    c.Fixed(kCheckBytes, sum);
    if (sum != CheckSum(bytes.substr(0, bodyAt + bodySize))) {
        return fail(SnapshotProblem::kCorrupt);
    }
    if (loaded.header.folder != expectedFolder) return fail(SnapshotProblem::kOtherFolder);
    loaded.tree.bytes = std::string(bytes.substr(bodyAt, bodySize));
    loaded.tree.count = count;
    TreeReader reader(loaded.tree, separator);
    SnapshotEntry entry;
    while (reader.Next(entry)) {
    }
    if (reader.Failed()) return fail(SnapshotProblem::kCorrupt);
    loaded.problem = SnapshotProblem::kNone;
    return loaded;
}

TreeDifference CompareTrees(const EncodedTree& before, const EncodedTree& after, char separator) {
    TreeReader a(before, separator);
    TreeReader b(after, separator);
    std::vector<SnapshotEntry> removed;
    std::vector<SnapshotEntry> added;
    // In tree order: true for an addition (an index into added), false for a modification.
    struct Forward {
        bool isAdded;
        std::size_t index;
    };
    std::vector<Forward> forward;
    std::vector<std::string> modifiedPaths;

    SnapshotEntry x;
    SnapshotEntry y;
    bool hasX = a.Next(x);
    bool hasY = b.Next(y);
    // Below a folder that either side could not list, nothing is known to have changed.
    std::string unknownBelow;
    const auto below = [&](const SnapshotEntry& e) {
        return !unknownBelow.empty() && e.path.compare(0, unknownBelow.size(), unknownBelow) == 0;
    };
    while (hasX || hasY) {
        if (hasX && below(x)) {
            hasX = a.Next(x);
            continue;
        }
        if (hasY && below(y)) {
            hasY = b.Next(y);
            continue;
        }
        if (hasX && (!hasY || TreeOrderLess(x.path, y.path, separator))) {
            removed.push_back(std::move(x));
            hasX = a.Next(x);
            continue;
        }
        if (hasY && (!hasX || TreeOrderLess(y.path, x.path, separator))) {
            forward.push_back({true, added.size()});
            added.push_back(std::move(y));
            hasY = b.Next(y);
            continue;
        }
        if (!x.listed || !y.listed) unknownBelow = x.path + separator;
        if (x.kind != y.kind) {
            removed.push_back(std::move(x));
            forward.push_back({true, added.size()});
            added.push_back(std::move(y));
        } else if (ContentDiffers(x, y)) {
            forward.push_back({false, modifiedPaths.size()});
            modifiedPaths.push_back(std::move(y.path));
        }
        hasX = a.Next(x);
        hasY = b.Next(y);
    }

    TreeDifference out;
    // A file ID seen once among the removed entries; links sharing one pair up first come.
    std::unordered_map<std::uint64_t, std::size_t> removedById;
    for (std::size_t i = 0; i < removed.size(); ++i) {
        if (removed[i].fileId != 0) removedById.emplace(removed[i].fileId, i);
    }
    std::vector<bool> removedPaired(removed.size(), false);
    std::vector<bool> addedPaired(added.size(), false);
    std::unordered_map<std::string, std::string> movedFolders;
    ChangeBatch renames;
    for (std::size_t j = 0; j < added.size(); ++j) {
        const SnapshotEntry& now = added[j];
        if (now.fileId == 0) continue;
        const auto found = removedById.find(now.fileId);
        if (found == removedById.end() || removed[found->second].kind != now.kind) continue;
        const SnapshotEntry& was = removed[found->second];
        // Below a folder that moved, an entry that kept its place in it moved with it, and its
        // place says it is the same file even when it was written too.
        bool carried = false;
        for (std::string_view up = ParentOf(was.path, separator); !up.empty();
             up = ParentOf(up, separator)) {
            const auto moved = movedFolders.find(std::string(up));
            if (moved == movedFolders.end()) continue;
            carried = now.path == moved->second + was.path.substr(up.size());
            break;
        }
        if (!carried && !SameFileMoved(was, now)) continue;
        removedPaired[found->second] = true;
        addedPaired[j] = true;
        if (now.kind == EntryKind::kFolder) movedFolders.emplace(was.path, now.path);
        if (!carried) {
            renames.emplace_back(kActionRenamedOld, was.path);
            renames.emplace_back(kActionRenamedNew, now.path);
            ++out.renamed;
        } else if (ContentDiffers(was, now)) {
            renames.emplace_back(kActionModified, now.path);
            ++out.modified;
        }
        removedById.erase(found);
    }
    for (std::size_t i = removed.size(); i-- > 0;) {
        if (removedPaired[i]) continue;
        out.changes.emplace_back(kActionRemoved, std::move(removed[i].path));
        ++out.removed;
    }
    for (ChangeRecord& record : renames) out.changes.push_back(std::move(record));
    for (const Forward& f : forward) {
        if (f.isAdded) {
            if (addedPaired[f.index]) continue;
            out.changes.emplace_back(kActionAdded, std::move(added[f.index].path));
            ++out.added;
            continue;
        }
        out.changes.emplace_back(kActionModified, std::move(modifiedPaths[f.index]));
        ++out.modified;
    }
    return out;
}

}  // namespace qzx
