// The window's wording of the monitoring status: the status line and its tooltip.
#pragma once

#include <cstddef>
#include <string>

#include "app/MonitorController.h"

namespace qzx {

/// The status line's words for a headline, UTF-8: the same in the window and in qzxwatch.
const char* HeadlineText(StatusHeadline headline);

/// One trouble in a sentence, UTF-8, without a line end: its explanation, the place, how often
/// and when it was last seen, as "变化来得太快…（3 次，最近一次 14:7:9）". The window's tooltip and
/// qzxwatch both say it so.
std::string TroubleText(const Trouble& trouble);

/// The count of changes the ignore list left out, as "已忽略 12 个变化（…）", UTF-8, without a
/// line end.
std::string IgnoredText(std::size_t count);

/// What the snapshot found and did, one sentence (UTF-8, ending in LF) per fact: the changes
/// found at Start and since when, a snapshot that could not be used, a save that failed, the
/// changes recovered after an overflow; empty while catch-up is off.
std::string CatchUpText(const CatchUpStatus& status);

/// The tooltip's line (ending in LF) on the engine of the run: which one watches, and why the one
/// that sees the whole tree at once does not when it was refused; empty from a source that says
/// nothing of itself.
std::string EngineText(const EngineStatus& engine);

/// What the window shows for the status.
struct StatusTexts {
    std::string line;     ///< the status line
    std::string toolTip;  ///< its tooltip, a line (ending in LF) per fact; empty when all is well
};

/// The status line and its tooltip as the window shows them: the set-up's progress while
/// arming, one line per trouble with its count and when it was last seen, or why watching
/// ended by itself, then how many changes the ignore list left out when there were any, and while
/// a run is on the engine that watches (EngineText).
StatusTexts WindowStatusTexts(const MonitorStatus& status);

}  // namespace qzx
