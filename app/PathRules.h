// The one place that knows the platform's path separator.
#pragma once

namespace qzx {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace qzx
