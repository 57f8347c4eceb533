// Local wall-clock time as the rows, the log and the export need it.
#pragma once

#include <string>

namespace qzx {

/// A local calendar date and time of day, to the second.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
};

/// Appends a time of day as the list, the export and the status show it: hour:minute:second
/// without leading zeros, as 9:5:3.
void AppendTimeOfDayText(int hour, int minute, int second, std::string& out);
/// The same text written at out, which has room for kTimeOfDayTextMax bytes; returns its end.
constexpr int kTimeOfDayTextMax = 3 * 11 + 2;
char* WriteTimeOfDayText(int hour, int minute, int second, char* out);
/// AppendTimeOfDayText of when's time of day, as a new string.
std::string TimeOfDayText(const LocalTime& when);

/// Source of the current local time; a fake in tests, the system clock in the program.
class Clock {
  public:
    virtual ~Clock() = default;
    /// Any thread may call it.
    virtual LocalTime Now() const = 0;
};

/// The system's local time (defined in the platform layer).
const Clock& SystemClock();

}  // namespace qzx
