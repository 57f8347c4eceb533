// What qzxwatch needs of the terminal and the process: stop signals, output, local time.
#pragma once

#include <string>

#include "base/Clock.h"

namespace qzx::cli {

/// Call first thing in main, before any thread exists: SIGINT and SIGTERM are then only taken
/// by WaitForStopSignal, and a closed output shows as a failed write instead of ending the
/// process.
void PrepareStopSignals();
/// Waits up to timeoutMs for SIGINT or SIGTERM; true when one came. Main thread.
bool WaitForStopSignal(int timeoutMs);
/// Writes all bytes to standard output and flushes; false when that failed.
bool WriteOut(const std::string& bytes);
/// Writes a line to standard error, adding the line end.
void WriteErrLine(const std::string& line);
/// Offset of local time from UTC in minutes at the given local time.
int UtcOffsetMinutes(const LocalTime& when);
/// A monotonic clock in milliseconds.
long long SteadyMs();

}  // namespace qzx::cli
