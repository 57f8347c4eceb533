// The one place that knows the platform's path separator.
#pragma once

namespace qzx {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace qzx

#include <string>
#include <string_view>

namespace qzx {

/// True when path names a folder from the root (on Windows also "C:" and "\\server\share").
inline bool IsAbsolutePath(std::string_view path) {
#ifdef _WIN32
    return (path.size() >= 2 && path[1] == ':') ||
           (path.size() >= 2 && path.substr(0, 2) == "\\\\");
#else
    return !path.empty() && path[0] == '/';
#endif
}

/// path with the separator at its end, added when missing.
inline std::string WithTrailingSeparator(std::string path) {
    if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
    return path;
}

}  // namespace qzx
