// The file operations of the change source contract on Linux, for every source there.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace qzx::test {

struct PosixContract {
    static constexpr char kSeparator = '/';
    static bool MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }
    static bool Touch(const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        return fd >= 0 && ::close(fd) == 0;
    }
    template <class Place>
    static bool RemoveTree(Place&, const std::string& path) {
        std::error_code error;
        std::filesystem::remove_all(path, error);
        return !error;
    }
    // The kernel's limit from its file under /proc/sys, or the usual one.
    static long LimitIn(const char* file) {
        long limit = 16384;
        std::ifstream(file) >> limit;
        return limit;
    }
    template <class Source>
    static void AfterRefusal(const Source&) {}
};

}  // namespace qzx::test
