// Which Linux change source watches a folder: fanotify where it may, inotify otherwise.
#pragma once

#include <functional>
#include <memory>

#include "watch/ChangeSource.h"
#include "watch/FanotifySource.h"

namespace qzx {

using FanotifyMaker = std::function<std::unique_ptr<FanotifySource>()>;
using SourceMaker = std::function<std::unique_ptr<ChangeSource>()>;

/// A source that, at each Start, tries a source from fanotify and, when fanotify refuses (no
/// privilege, a file system without a whole-file-system mark, an old kernel), starts one from
/// fallback instead. Engine() says which one runs and why.
std::unique_ptr<ChangeSource> CreateChoosingSource(FanotifyMaker fanotify, SourceMaker fallback);

}  // namespace qzx
