// How many inotify watches a process holds, as the kernel lists them in /proc: the one count
// that shows whether a folder costs a watch.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace qzx {

/// The watches of every inotify descriptor of process pid ("self": this one); -1 when it holds
/// no inotify descriptor at all.
inline int InotifyWatches(const std::string& pid = "self") {
    namespace fs = std::filesystem;
    const fs::path proc = fs::path("/proc") / pid;
    int watches = -1;
    std::error_code error;
    for (const fs::directory_entry& fd : fs::directory_iterator(proc / "fd", error)) {
        std::error_code linkError;
        if (fs::read_symlink(fd.path(), linkError).string() != "anon_inode:inotify") continue;
        if (watches < 0) watches = 0;
        std::ifstream info(proc / "fdinfo" / fd.path().filename());
        for (std::string line; std::getline(info, line);) {
            if (line.rfind("inotify wd:", 0) == 0) ++watches;
        }
    }
    return watches;
}

}  // namespace qzx
