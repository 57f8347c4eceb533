// Processes as /proc shows them.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/UniqueFd.h"
#include "watch/ProcessCache.h"

namespace qzx {
namespace {

// The file system of process handles since Linux 6.9, whose inode numbers are never reused;
// before it every handle had the same inode, which tells nothing.
constexpr long kPidFsMagic = 0x50494446;

class ProcReader final : public ProcessReader {
  public:
    std::optional<ProcessInfo> Read(int pid) override {
        const std::string dir = "/proc/" + std::to_string(pid) + "/";
        UniqueFd comm(::open((dir + "comm").c_str(), O_RDONLY | O_CLOEXEC));
        if (!comm.Valid()) return std::nullopt;
        char text[64];
        ssize_t length;
        do {
            length = ::read(comm.Get(), text, sizeof text);
        } while (length < 0 && errno == EINTR);
        if (length < 0) return std::nullopt;
        ProcessInfo info;
        info.pid = pid;
        info.name.assign(text, static_cast<std::size_t>(length));
        if (!info.name.empty() && info.name.back() == '\n') info.name.pop_back();
        // Another user's program file stays hidden without privilege; the name is enough then.
        char exe[PATH_MAX];
        ssize_t exeLength = ::readlink((dir + "exe").c_str(), exe, sizeof exe);
        if (exeLength > 0 && static_cast<std::size_t>(exeLength) < sizeof exe) {
            info.exe.assign(exe, static_cast<std::size_t>(exeLength));
        }
        return info;
    }

    std::uint64_t Identity(int handle) override {
        struct statfs fs;
        struct stat info;
        if (::fstatfs(handle, &fs) != 0 || static_cast<long>(fs.f_type) != kPidFsMagic) return 0;
        if (::fstat(handle, &info) != 0) return 0;
        return static_cast<std::uint64_t>(info.st_ino);
    }

    std::uint64_t IdentityOf(int pid) override {
        UniqueFd handle(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
        return handle.Valid() ? Identity(handle.Get()) : 0;
    }

    bool HasEnded(int handle) override {
        // A process handle becomes readable when its process ends.
        pollfd p{handle, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
    }
};

}  // namespace

ProcessReader& SystemProcessReader() {
    static ProcReader reader;
    return reader;
}

}  // namespace qzx
