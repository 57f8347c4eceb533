// The time of day as text, the one form every part of the program shows it in.
#include "base/Clock.h"

#include <charconv>

namespace qzx {
namespace {

void AppendNumber(int value, std::string& out) {
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

}  // namespace

void AppendTimeOfDayText(int hour, int minute, int second, std::string& out) {
    AppendNumber(hour, out);
    out += ':';
    AppendNumber(minute, out);
    out += ':';
    AppendNumber(second, out);
}

std::string TimeOfDayText(const LocalTime& when) {
    std::string text;
    AppendTimeOfDayText(when.hour, when.minute, when.second, text);
    return text;
}

}  // namespace qzx
