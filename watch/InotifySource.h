// The Linux change source that watches folder by folder with inotify.
#pragma once

#include <memory>

#include "watch/ChangeSource.h"

namespace qzx {

/// A source that always watches with inotify, one watch per folder: for what must not depend
/// on the privilege of the process. CreateChangeSource() is the program's choice:
/// CreateFanotifySource() first, this one after.
std::unique_ptr<ChangeSource> CreateInotifySource();

}  // namespace qzx
