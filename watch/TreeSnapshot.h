// A picture of the tree under a watched folder (every file and folder with its size, times and
// file ID), kept small enough to hold for a million entries, saved in a file of its own, and
// compared with another picture to tell what changed in between.
//
// The entries are held encoded, in tree order (a folder, then everything below it, names in
// byte order), each coded against the one before: the path as the length it shares with the
// previous path and the rest, the times and the file ID as differences. A reader decodes them
// one by one, so neither the program nor a compare ever holds the entries as objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Clock.h"
#include "base/PathRules.h"
#include "watch/ChangeRecord.h"

namespace qzx {

/// A time stamp of the file system in nanoseconds since 1970; kNoStamp when not known.
using StampNs = std::int64_t;
inline constexpr StampNs kNoStamp = -1;

enum class EntryKind : std::uint8_t { kFile = 0, kFolder = 1, kOther = 2 };

/// One file or folder below the watched folder.
struct SnapshotEntry {
    /// Relative to the watched folder, components joined with the platform separator; raw bytes.
    std::string path;
    EntryKind kind = EntryKind::kFile;
    std::uint64_t size = 0;
    StampNs modified = kNoStamp;
    /// The last change of content or attributes (Linux' ctime; Windows' change time).
    StampNs changed = kNoStamp;
    /// The inode (Linux) or file ID (Windows); 0 when not known.
    std::uint64_t fileId = 0;
    /// False for a folder that could not be listed: what it holds is not known, so a compare
    /// tells nothing below it.
    bool listed = true;
};

/// True when a comes before b in tree order: component by component, each in byte order.
bool TreeOrderLess(std::string_view a, std::string_view b, char separator = kPathSeparator);

/// Entries above this many are refused: the snapshot stays bounded whatever the tree.
inline constexpr std::uint64_t kMaxSnapshotEntries = 20'000'000;

/// The encoded entries of one tree.
struct EncodedTree {
    std::string bytes;
    std::uint64_t count = 0;
};

/// Encodes entries as they come, in tree order. One thread.
class TreeEncoder {
  public:
    explicit TreeEncoder(char separator = kPathSeparator) : separator(separator) {}
    /// Appends an entry; false (and nothing added) when it does not come after the last one in
    /// tree order, its path is empty, or the bound is reached.
    bool Add(const SnapshotEntry& entry);
    std::uint64_t Count() const { return tree.count; }
    /// The entries so far; the encoder is empty afterwards.
    EncodedTree Take();

  private:
    char separator;
    EncodedTree tree;
    SnapshotEntry last;
};

/// Decodes an EncodedTree one entry at a time. Checks every entry as it goes: Failed() after
/// Next returned false tells damage from the end.
class TreeReader {
  public:
    explicit TreeReader(const EncodedTree& tree, char separator = kPathSeparator);
    /// The next entry into entry; false at the end or at damage.
    bool Next(SnapshotEntry& entry);
    bool Failed() const { return failed; }

  private:
    bool Fail();

    std::string_view bytes;
    std::uint64_t count;
    char separator;
    std::size_t at = 0;
    std::uint64_t read = 0;
    SnapshotEntry last;
    bool failed = false;
};

/// What the file says besides the entries.
struct SnapshotHeader {
    /// The watched folder, with its trailing separator (UTF-8).
    std::string folder;
    /// When it was taken, on the file system's clock: a change stamped later may have been
    /// missed by it, and on the local clock for the user.
    StampNs takenAt = kNoStamp;
    LocalTime savedAt;
};

/// The format this program writes; a file of a later one is refused as kNewerFormat.
inline constexpr std::uint32_t kSnapshotFormat = 1;
/// A snapshot file larger than this is refused unread.
inline constexpr std::size_t kMaxSnapshotFileBytes = 40 * kMaxSnapshotEntries;

/// Why a snapshot file could not be used.
enum class SnapshotProblem {
    kNone,
    kMissing,      // no file yet: the first run on this folder
    kUnreadable,   // it could not be read
    kTruncated,    // it ends too early
    kCorrupt,      // its bytes do not add up
    kOtherFolder,  // it belongs to another watched folder
    kNewerFormat,  // a later version of the program wrote it
    kTooLarge,     // larger than any snapshot may be
};

/// The whole file: a fixed opening, the format, the header, the entries, and a check sum.
std::string SnapshotFileBytes(const SnapshotHeader& header, const EncodedTree& tree);

/// A snapshot file read and checked.
struct LoadedSnapshot {
    SnapshotProblem problem = SnapshotProblem::kMissing;
    SnapshotHeader header;
    /// Every entry decoded once, so a compare never meets damage; empty unless kNone.
    EncodedTree tree;
};

/// Checks bytes as a snapshot of expectedFolder and decodes its entries once. Never trusts a
/// length or a count in it further than the bytes go.
LoadedSnapshot ParseSnapshotFile(std::string_view bytes, std::string_view expectedFolder,
                                 char separator = kPathSeparator);

/// What a compare found, as changes for the recorder.
struct TreeDifference {
    /// Deletions (deepest first), then renames (old directly followed by new), then additions
    /// and modifications in tree order.
    ChangeBatch changes;
    std::size_t added = 0;
    std::size_t removed = 0;
    std::size_t modified = 0;
    std::size_t renamed = 0;
};

/// What changed from before to after. The same file ID under another path of the same kind is a
/// rename, one record pair (for a file only with its size and modification time unchanged, since
/// a new file may get a deleted one's number; a file moved and written is a deletion and an
/// addition), and the entries below a renamed folder move with it unless they
/// changed themselves. A folder's times change with what it holds, whose changes tell that
/// already, so a folder counts as modified only when its ID changes.
TreeDifference CompareTrees(const EncodedTree& before, const EncodedTree& after,
                            char separator = kPathSeparator);

}  // namespace qzx
