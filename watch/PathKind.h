// What a path names, as the source that reported it knows.
#pragma once

#include <cstdint>

namespace qzx {

/// What a path names, as far as the caller knows.
enum class PathKind : std::uint8_t { kUnknown, kFile, kFolder };

/// The kind of a path whose folder-ness a source learnt.
inline constexpr PathKind KindOf(bool isFolder) {
    return isFolder ? PathKind::kFolder : PathKind::kFile;
}

}  // namespace qzx
