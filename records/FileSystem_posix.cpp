// The records' file operations on POSIX: plain open/write/close with every result checked,
// since a lost log line or a half-written export must never look like success.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>

#include "base/UniqueFd.h"
#include "records/FileSystem.h"

namespace qzx {
namespace {

// Writes every byte; written says how many reached the file, also when it fails.
bool WriteAll(int fd, std::string_view bytes, size_t& written) {
    written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, std::string_view bytes) {
    size_t written = 0;
    return WriteAll(fd, bytes, written);
}

// Best effort: when even this fails there is nothing left to try, and the caller reports the
// lost line anyway.
void CutBack(int fd, off_t size) {
    if (::ftruncate(fd, size) != 0) return;
}

// Cuts bytes off the end of the file when that is where they are.
void CutBackTail(int fd, std::string_view bytes) {
    struct stat st {};
    const auto size = static_cast<off_t>(bytes.size());
    if (::fstat(fd, &st) != 0 || st.st_size < size) return;
    std::string tail(bytes.size(), '\0');
    size_t got = 0;
    while (got < tail.size()) {
        ssize_t n = ::pread(fd, tail.data() + got, tail.size() - got,
                            st.st_size - size + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        got += static_cast<size_t>(n);
    }
    if (tail == bytes) CutBack(fd, st.st_size - size);
}

// The new file belongs to whoever wrote it. Root exporting over a user's file gives it back to
// that user; anyone else is refused, and the file then stays theirs.
void KeepOwner(int fd, const struct stat& old) {
    if (old.st_uid == ::geteuid() && old.st_gid == ::getegid()) return;
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) return;
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The folder part of a file path, "." for a bare name.
std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A symbolic link chosen as the export target means its destination: replacing the link
// itself would quietly leave the real file stale.
std::string ResolvedTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return path;
    std::string resolved(real);
    ::free(real);
    return resolved;
}

class PosixFileSystem final : public FileSystem {
  public:
    bool PathExistsAs(const std::string& path, bool asFolder) const override {
        struct stat st {};
        if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
        return S_ISDIR(st.st_mode) == asFolder;
    }

    bool PathExists(const std::string& path) const override {
        struct stat st {};
        return !path.empty() && ::lstat(path.c_str(), &st) == 0;
    }

    bool IsWritableFolder(const std::string& path) const override {
        // access() also answers EROFS for a read-only mount, where root would pass otherwise.
        return PathExistsAs(path, true) && ::access(path.c_str(), W_OK | X_OK) == 0;
    }

    int MakeFolders(const std::string& path) override {
        std::string folder = WithoutTrailingSlashes(path);
        if (folder.empty()) return 0;
        if (PathExistsAs(folder, true)) return 1;
        // Each level in turn; a level made meanwhile by someone else is as good as ours.
        for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
            std::string level = folder.substr(0, slash);
            if (::mkdir(level.c_str(), 0777) != 0 && errno != EEXIST) return 0;
            if (slash == std::string::npos) break;
        }
        return PathExistsAs(folder, true) ? 1 : 0;
    }

    int AppendToFile(const std::string& path, std::string_view bytes) override {
        // Open, write, close and nothing else while all goes well: the log calls this for every
        // batch of a burst. Where the file ended is worked out only when a write fails.
        UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
        if (!fd.Valid()) return 0;
        size_t written = 0;
        if (!WriteAll(fd.Get(), bytes, written)) {
            // Half a batch would run into the next line; take back what got in.
            struct stat st {};
            if (written > 0 && ::fstat(fd.Get(), &st) == 0 &&
                st.st_size >= static_cast<off_t>(written)) {
                CutBack(fd.Get(), st.st_size - static_cast<off_t>(written));
            }
            return 0;
        }
        if (fd.Close()) return 1;
        // The error came only with close, so what reached the file is unknown: take the bytes
        // back when the file ends with them.
        UniqueFd again(::open(path.c_str(), O_RDWR | O_CLOEXEC));
        if (again.Valid()) CutBackTail(again.Get(), bytes);
        return 0;
    }

    int ReplaceFile(const std::string& path, std::string_view bytes) override {
        return Replace(path, [bytes](int fd) { return WriteAll(fd, bytes); });
    }

    int ReplaceFileInPieces(const std::string& path, const NextPiece& next) override {
        return Replace(path, [&next](int fd) {
            std::string piece;
            for (bool more = true; more;) {
                piece.clear();
                more = next(piece);
                if (!WriteAll(fd, piece)) return false;
            }
            return true;
        });
    }

    ReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes,
                             std::string& bytes) const override {
        bytes.clear();
        if (path.empty()) return ReadResult::kFailed;
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd.Valid()) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0 || S_ISDIR(st.st_mode)) return ReadResult::kFailed;
        // The size is only a hint: a pipe or a device says 0, and a file may grow meanwhile.
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                bytes.clear();
                return ReadResult::kFailed;
            }
            if (n == 0) return ReadResult::kRead;
            if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
                bytes.clear();
                return ReadResult::kTooLarge;
            }
            bytes.append(buffer, static_cast<size_t>(n));
        }
    }

    bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries) const override {
        entries.clear();
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) return false;
        const int dirFd = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            FolderEntry listed{std::string(name), entry->d_type == DT_DIR, entry->d_type == DT_REG};
            struct stat st {};
            // Some file systems do not say the kind in the listing.
            if (entry->d_type == DT_UNKNOWN &&
                ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                listed.folder = S_ISDIR(st.st_mode);
                listed.file = S_ISREG(st.st_mode);
            }
            entries.push_back(std::move(listed));
        }
        ::closedir(dir);
        return true;
    }

  private:
    // The whole file goes to a temporary beside it, which replaces it only once every byte is
    // on the disk.
    static int Replace(const std::string& path, const std::function<bool(int fd)>& writeAll) {
        if (path.empty()) return 0;
        const std::string target = ResolvedTarget(path);
        struct stat old {};
        const bool exists = ::stat(target.c_str(), &old) == 0;
        if (exists && S_ISDIR(old.st_mode)) return 0;
        // The rename below would get past a read-only file; the user protected it, so keep it.
        if (exists && ::access(target.c_str(), W_OK) != 0) return 0;

        std::string temp;
        UniqueFd fd = CreateTemporary(target, temp);
        if (!fd.Valid()) return 0;
        bool ok = writeAll(fd.Get());
        if (ok && exists) {
            ok = ::fchmod(fd.Get(), old.st_mode & 07777) == 0;
            KeepOwner(fd.Get(), old);
        }
        // Without this a crash soon after the rename could leave an empty file in place of the
        // old one.
        if (ok) ok = ::fsync(fd.Get()) == 0;
        ok = fd.Close() && ok;
        if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
        if (!ok) ::unlink(temp.c_str());
        return ok ? 1 : 0;
    }

    // A new file beside the target, so that the rename stays within one file system.
    static UniqueFd CreateTemporary(const std::string& target, std::string& temp) {
        static std::atomic<unsigned> serial{0};
        const std::string stem =
            FolderOf(target) + "/." + NameOf(target) + ".part-" + std::to_string(::getpid()) + "-";
        for (int attempt = 0; attempt < 100; ++attempt) {
            temp = stem + std::to_string(serial.fetch_add(1));
            UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (fd.Valid() || errno != EEXIST) return fd;
        }
        return UniqueFd();
    }
};

}  // namespace

FileSystem& SystemFileSystem() {
    static PosixFileSystem files;
    return files;
}

}  // namespace qzx
