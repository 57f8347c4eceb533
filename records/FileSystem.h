// The few file operations the records need, behind a seam so that the rules can be tested
// without a disk and the disk code stays small.
#pragma once

#include <string>
#include <string_view>

namespace qzx {

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
};

/// The operating system's files (defined in the platform layer).
FileSystem& SystemFileSystem();

}  // namespace qzx
