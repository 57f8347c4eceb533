// qzxwatch's status on standard error: its own wording of what the controller reports, and a
// line each time one of its facts changes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/MonitorController.h"

namespace qzx::cli {

/// What a status line is about. A topic's line is printed again whenever its text changes; a
/// new fact of the status (a count, a note on the watcher) is a topic of its own.
enum class StatusTopic {
    Engine,
    Headline,
    Ended,
    LostChanges,
    UnreadableFolder,
    WatchLimit,
    LogLines,
    Ignored,
    CatchUp,
};

/// Syslog priorities of the status lines: the losses are warnings, the rest news.
inline constexpr int kPriorityWarning = 4;
inline constexpr int kPriorityInfo = 6;

/// One line of the status, UTF-8, without its line end.
struct StatusLine {
    StatusTopic topic = StatusTopic::Headline;
    /// kPriorityWarning for lost changes and unwatched parts, kPriorityInfo otherwise.
    int priority = kPriorityInfo;
    std::string text;
};

/// The status as qzxwatch words it: which engine watches (its summary, with the reason when it
/// is not the one that sees the whole tree at once; none from a source that does not say), the
/// window's status line, then one line per trouble with
/// its count and when it was last seen, or why watching ended by itself, then the count of changes
/// the ignore list left out when there were any. The set-up's progress is left out: on a large
/// tree it would be a line every poll.
std::vector<StatusLine> WatchStatusLines(const MonitorStatus& status);

/// Writes the lines of the status whose text changed since the last Show. The ignored count is
/// news only beside other news: it goes with a line printed anyway (the stop's among them), never
/// alone, since a busy ignored folder would otherwise make a line every poll. One thread at a
/// time.
class StatusPrinter {
  public:
    /// write takes one line without its line end. With journal (standard error is the
    /// journal), each line starts with its priority as "<4>" or "<6>", which the journal takes
    /// off and keeps as the line's priority.
    StatusPrinter(std::function<void(const std::string& line)> write, bool journal);

    void Show(const MonitorStatus& status);

  private:
    std::function<void(const std::string&)> write;
    bool journal;
    std::vector<StatusLine> shown;
};

}  // namespace qzx::cli
