// Processes as /proc shows them.
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/UniqueFd.h"
#include "watch/ProcessCache.h"

namespace qzx {
namespace {

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
};

}  // namespace

ProcessReader& SystemProcessReader() {
    static ProcReader reader;
    return reader;
}

}  // namespace qzx
