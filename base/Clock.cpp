// The time of day as text, the one form every part of the program shows it in.
#include "base/Clock.h"

#include <charconv>

namespace qzx {
namespace {

char* WriteNumber(int value, char* out) {
    // Every real time of day has fields of one or two digits: those skip the general routine.
    if (value < 0 || value > 99) return std::to_chars(out, out + 11, value).ptr;
    if (value >= 10) *out++ = static_cast<char>('0' + value / 10);
    *out++ = static_cast<char>('0' + value % 10);
    return out;
}

}  // namespace

char* WriteTimeOfDayText(int hour, int minute, int second, char* out) {
    out = WriteNumber(hour, out);
    *out++ = ':';
    out = WriteNumber(minute, out);
    *out++ = ':';
    return WriteNumber(second, out);
}

void AppendTimeOfDayText(int hour, int minute, int second, std::string& out) {
    char text[kTimeOfDayTextMax];
    out.append(text, WriteTimeOfDayText(hour, minute, second, text));
}

std::string TimeOfDayText(const LocalTime& when) {
    std::string text;
    AppendTimeOfDayText(when.hour, when.minute, when.second, text);
    return text;
}

}  // namespace qzx
