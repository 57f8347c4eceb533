// The file operations of the change source contract on Linux, for every source there.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace qzx::test {

struct PosixContract {
    static constexpr char kSeparator = '/';
    static constexpr bool kTouchModifies = false;
    static bool MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }
    // Makes or empties a file, with text as its content.
    static bool Touch(const std::string& path, std::string_view text = {}) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return false;
        const bool written =
            text.empty() || ::write(fd, text.data(), text.size()) == ssize_t(text.size());
        return ::close(fd) == 0 && written;
    }
    template <class Place>
    static bool RemoveTree(Place&, const std::string& path) {
        std::error_code error;
        std::filesystem::remove_all(path, error);
        return !error;
    }
    // New files, each its own object: a kernel merges repeats of one object's event, not of many.
    template <class Place>
    static bool Flood(Place&, const std::string& folder, long count) {
        for (long i = 0; i < count; ++i) {
            if (!Touch(folder + "/f" + std::to_string(i))) return false;
        }
        return true;
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

// For a test's own steps: a file that cannot be made fails the test.
inline void Touch(const std::string& path, std::string_view text = {}) {
    ASSERT_TRUE(PosixContract::Touch(path, text)) << path;
}

}  // namespace qzx::test
