// The few file operations the records need, behind a seam so that the rules can be tested
// without a disk and the disk code stays small.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qzx {

/// What reading a whole file gave.
enum class ReadResult {
    kRead,
    /// Nothing of that name exists: for a settings file, no settings yet rather than a failure.
    kMissing,
    /// It holds more than the reader allows.
    kTooLarge,
    /// A folder, a file this process may not read, or any read error.
    kFailed,
};

/// One entry of a folder as listed, links not followed: a link is neither a folder nor a file.
struct FolderEntry {
    std::string name;
    bool folder = false;
    bool file = false;
};

/// Makes a file's bytes a piece at a time: appends the next piece to out and returns false when
/// that piece was the last.
using NextPiece = std::function<bool(std::string& out)>;

/// Files of the log and the export. Paths are UTF-8 bytes as the system takes them. Every
/// operation may be called from any thread; failures are results, never exceptions.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    /// With asFolder, true when path names an existing folder; without it, true when path names
    /// an existing entry that is not a folder. False when nothing of that name exists.
    virtual bool PathExistsAs(const std::string& path, bool asFolder) const = 0;
    /// True when path is not empty and names any existing entry, a folder included.
    virtual bool PathExists(const std::string& path) const = 0;
    /// True when path is a folder in which this process may create files.
    virtual bool IsWritableFolder(const std::string& path) const = 0;
    /// Creates the folder and any missing folder above it: 1 when it is a folder afterwards,
    /// 0 otherwise.
    virtual int MakeFolders(const std::string& path) = 0;
    /// Opens (creating when missing), appends bytes at the end and closes: 1 when every byte was
    /// written and the file closed cleanly, 0 otherwise, with a partly written tail cut off.
    /// The log calls it once per batch of lines, so on success it should cost one open, one
    /// write and one close, and it never keeps the file open after it returns.
    virtual int AppendToFile(const std::string& path, std::string_view bytes) = 0;
    /// Makes bytes the whole content of the file, all at once: 1 on success; 0 when the path is
    /// empty, a folder, a file this process may not write, or any write fails, and then a file
    /// that was there is left as it was.
    virtual int ReplaceFile(const std::string& path, std::string_view bytes) = 0;
    /// ReplaceFile with bytes made while they are written, so that a large file is never held
    /// whole: each piece is written before the next is asked for. Same results as ReplaceFile;
    /// this default gathers the pieces and hands them to it.
    virtual int ReplaceFileInPieces(const std::string& path, const NextPiece& next) {
        std::string bytes;
        while (next(bytes)) {
        }
        return ReplaceFile(path, bytes);
    }
    /// Reads the whole file into bytes (emptied first), at most maxBytes of it. The records'
    /// own writers never read; a file system that cannot read keeps this default, which fails.
    virtual ReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes,
                                     std::string& bytes) const {
        (void)path;
        (void)maxBytes;
        bytes.clear();
        return ReadResult::kFailed;
    }
    /// The entries of the folder at path, "." and ".." left out, into entries (emptied first):
    /// false when it cannot be listed. A file system that cannot list keeps this default.
    virtual bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries) const {
        (void)path;
        entries.clear();
        return false;
    }
};

/// The operating system's files (defined in the platform layer).
FileSystem& SystemFileSystem();

}  // namespace qzx
