// The tree listing on Linux: readdir for the names and inodes, statx for sizes and times.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "watch/TreeLister.h"

namespace qzx {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

StampNs StampOf(const struct statx_timestamp& t) {
    return static_cast<StampNs>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The precise clock: a file system may stamp with a finer clock than its coarse one, but never
// later than the real time, so a stamp above this reading was made after it.
StampNs ClockNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<StampNs>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The entries of one folder with their attributes; false when it cannot be opened. A link is
// not followed: its own entry is all the tree holds of it.
bool ListFolder(const std::string& path, const std::string& relative,
                std::vector<SnapshotEntry>& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    UniqueDir dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return false;
    }
    const std::string prefix = relative.empty() ? relative : relative + '/';
    while (dirent* found = ::readdir(dir.get())) {
        const char* name = found->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        SnapshotEntry entry;
        entry.path = prefix + name;
        entry.fileId = found->d_ino;
        entry.kind = found->d_type == DT_DIR   ? EntryKind::kFolder
                     : found->d_type == DT_REG ? EntryKind::kFile
                                               : EntryKind::kOther;
        struct statx info;
        if (::statx(::dirfd(dir.get()), name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC,
                    STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_CTIME, &info) == 0) {
            if (info.stx_mask & STATX_TYPE) {
                entry.kind = S_ISDIR(info.stx_mode)   ? EntryKind::kFolder
                             : S_ISREG(info.stx_mode) ? EntryKind::kFile
                                                      : EntryKind::kOther;
            }
            if (entry.kind != EntryKind::kFolder) entry.size = info.stx_size;
            if (info.stx_mask & STATX_MTIME) entry.modified = StampOf(info.stx_mtime);
            if (info.stx_mask & STATX_CTIME) entry.changed = StampOf(info.stx_ctime);
        }
        out.push_back(std::move(entry));
    }
    return true;
}

}  // namespace

TreeListing ListTree(const std::string& folder, const IgnoreRules* rules,
                     const std::atomic<bool>& cancel) {
    const FolderLister listFolder = [&folder](const std::string& relative,
                                              std::vector<SnapshotEntry>& out) {
        return ListFolder(folder + relative, relative, out);
    };
    return WalkTree(rules, '/', ClockNow(), listFolder, cancel);
}

}  // namespace qzx
