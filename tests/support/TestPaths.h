// Test paths in the platform's own form, so that the path rules are checked with the paths a
// user of each platform types: "/data/a.txt" here, "C:\data\a.txt" on Windows.
#pragma once

#include <string>
#include <string_view>

#include "base/PathRules.h"

namespace qzx::test {

/// The root of the test paths: "/", or "C:\" on Windows.
inline std::string RootFolder() {
#ifdef _WIN32
    return "C:\\";
#else
    return "/";
#endif
}

/// posixPath written with the platform's separator; a path from the root starts at RootFolder().
/// "/data/" becomes "C:\data\" on Windows, "sub/a.txt" becomes "sub\a.txt".
inline std::string NativePath(std::string_view posixPath) {
    std::string path;
    if (!posixPath.empty() && posixPath.front() == '/') {
        path = RootFolder();
        posixPath.remove_prefix(1);
    }
    for (char c : posixPath) path += c == '/' ? kPathSeparator : c;
    return path;
}

}  // namespace qzx::test
