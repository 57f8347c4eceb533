// Pattern files on disk: the user's ignore list, kept in the settings folder and shared by the
// window and qzxwatch, and any file that qzxwatch's --exclude-from names. Plain UTF-8 text, one
// pattern a line, in the syntax of watch/IgnoreRules.h.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "records/FileSystem.h"
#include "watch/IgnoreRules.h"

namespace qzx {

/// Where this system keeps the user's ignore list, and how its lines end there.
struct IgnoreFilePlace {
    /// $XDG_CONFIG_HOME/qzxfile/ignore (by default ~/.config/qzxfile/ignore) on Linux,
    /// %APPDATA%\QzxFile\ignore.txt on Windows; empty when the environment names no such folder.
    std::string path;
    /// "\n" on Linux, "\r\n" on Windows, where older editors show nothing else as a line break.
    std::string lineEnd;
};

/// The user's ignore list file on this system (defined in the platform layer). Reads the
/// environment; any thread.
IgnoreFilePlace SystemIgnoreFile();

/// A pattern file larger than this is refused: no list of patterns is that long, and a wrong
/// --exclude-from (a device, a large log) must not be read whole.
inline constexpr std::size_t kMaxPatternFileBytes = 1024 * 1024;

/// A pattern file as read.
struct PatternFileText {
    ReadResult result = ReadResult::kFailed;
    /// Its lines as PatternLines splits them; empty unless the file was read.
    std::vector<std::string> lines;
};

/// Reads a pattern file. A file that does not exist gives kMissing and no lines: for the user's
/// list that means no list yet. Any thread.
PatternFileText ReadPatternFile(const FileSystem& files, const std::string& path);

/// Makes lines the whole content of the file at place, each followed by place.lineEnd, making
/// its folder first; the file is replaced in one step, so a failure leaves the old one as it
/// was. 1 on success, 0 on failure (also for an empty path). Any thread.
int WritePatternFile(FileSystem& files, const IgnoreFilePlace& place,
                     const std::vector<std::string>& lines);

/// A pattern file read into rules.
struct PatternFileLoad {
    ReadResult result = ReadResult::kFailed;
    /// The lines that cannot be used, numbered in the file; only when it was read.
    std::vector<PatternError> errors;
};

/// Reads the file at path and adds its lines to rules, in order, as --exclude-from does. The
/// lines that can be used are added even when others cannot; the caller decides whether to go
/// on. Nothing is added unless result is kRead. Any thread.
PatternFileLoad LoadPatternFile(const FileSystem& files, const std::string& path,
                                IgnoreRules& rules);

/// True when a change of path (relative to the watched folder) may change what the tree's own
/// ignore files say: a ".gitignore" anywhere, or ".git/info/exclude". Either separator.
bool IsTreeIgnoreFile(std::string_view path);

/// The tree's own ignore files below the folder top, read as git reads them, with the user's
/// rules after them so that the user's lines win: .git/info/exclude, then every folder's
/// .gitignore, shallow first, a deeper file's lines applying below its folder and winning over
/// the shallower ones. A folder the rules ignore is not entered, as nothing inside it can come
/// back; links are not followed, ".git" is not entered, and a file that cannot be read counts
/// as empty. Any thread; it walks the tree, so never the window's. When cancel becomes true it
/// gives up between two folders, with what it has read so far.
std::shared_ptr<const IgnoreRules> LoadTreeRules(const FileSystem& files, const std::string& top,
                                                 const IgnoreRules& user,
                                                 const std::atomic<bool>* cancel = nullptr);

}  // namespace qzx
