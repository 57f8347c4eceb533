// The time of day as every part of the program writes it.
#include <gtest/gtest.h>

#include <string>

#include "base/Clock.h"

namespace qzx {
namespace {

// No leading zeros anywhere, and appending keeps what the text already holds.
TEST(Clock, TimeOfDayTextHasNoLeadingZeros) {
    struct Case {
        LocalTime when;
        const char* text;
    } cases[] = {
        {{2026, 12, 8, 9, 5, 3}, "9:5:3"},
        {{2026, 12, 8, 0, 0, 0}, "0:0:0"},
        {{2026, 12, 8, 23, 59, 59}, "23:59:59"},
        {{2026, 12, 8, 10, 0, 7}, "10:0:7"},
    };
    for (const Case& c : cases) EXPECT_EQ(TimeOfDayText(c.when), c.text) << c.text;
    std::string out = "at ";
    AppendTimeOfDayText(14, 7, 9, out);
    EXPECT_EQ(out, "at 14:7:9");
}

}  // namespace
}  // namespace qzx
