// One run of qzxwatch: watches a folder with the window's recording rules and prints each
// recorded change, and the status through StatusPrinter, until asked to stop.
#pragma once

#include <functional>
#include <string>

#include "app/MonitorController.h"
#include "app/cli/WatchArguments.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "records/FileSystem.h"
#include "watch/EventRecorder.h"

namespace qzx::cli {

/// What a session needs from the system; every function may be called from any thread, but
/// never two of one kind at once.
struct SessionIo {
    /// Writes the lines of one batch to standard output and flushes; false when that failed.
    std::function<bool(const std::string& bytes)> writeOut;
    /// Writes one line (without its line end) to standard error.
    std::function<void(const std::string& line)> writeErr;
    /// Waits up to timeoutMs for a request to stop; true when one came.
    std::function<bool(int timeoutMs)> waitForStop;
    /// Ends a waitForStop in progress, or the next one, early and without a stop. Null: the
    /// session polls every 50 ms instead of sleeping until the watcher has news.
    std::function<void()> wake;
    /// Offset of the local time from UTC, in minutes, at the given local time.
    std::function<int(const LocalTime& when)> utcOffsetMinutes;
    /// Reads a monotonic clock in milliseconds.
    std::function<long long()> steadyMs;
    /// Encodes UTF-8 text to GBK for --gbk.
    EncodeAppend gbk = nullptr;
    /// Standard error is the journal: the status lines carry their syslog priority.
    bool errIsJournal = false;
    /// Where --catch-up keeps the snapshots; null when it cannot (no state folder).
    CatchUp* catchUp = nullptr;
    /// Where --gitignore reads the tree's ignore files; null: it is not honoured.
    const FileSystem* files = nullptr;
};

/// Runs until stopped or until watching ends; returns the exit code. Takes over the recorder's
/// row handler; a log writer set on the recorder before keeps receiving the lines.
int RunWatchSession(const WatchArguments& arguments, const std::string& absoluteFolder,
                    EventRecorder& recorder, MonitorController::SourceFactory factory,
                    const SessionIo& io);

}  // namespace qzx::cli
