// Which way a change source watches, in words for the status line's tooltip and for qzxwatch.
#pragma once

#include <string>

namespace qzx {

/// The system facility behind a change source.
enum class ChangeEngine {
    Unnamed,  // a source that does not say
    Inotify,  // one watch per folder
    Fanotify  // one mark for the whole file system, with the process behind each change
};

/// What a started change source tells about itself.
struct EngineStatus {
    ChangeEngine engine = ChangeEngine::Unnamed;
    /// True when its records carry the process that made each change.
    bool knowsProcess = false;
    /// One line that says which engine runs and what that means, UTF-8; empty from a source
    /// that does not say.
    std::string summary;
    /// Why the engine that sees the whole tree at once is not the one running, UTF-8; empty
    /// when it runs, or was never tried.
    std::string fallbackReason;
};

}  // namespace qzx
