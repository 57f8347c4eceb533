// Event rows and a date made from fuzz input, for the export and the log.
#pragma once

#include <vector>

#include "base/Clock.h"
#include "tests/fuzz/FuzzInput.h"
#include "watch/EventRow.h"

namespace qzx::fuzz {

// Six 16-bit numbers, so that dates far outside the calendar (negative too) are tried.
inline LocalTime TakeTime(std::string_view& text) {
    LocalTime t;
    for (int* part : {&t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second}) {
        *part = TakeNumber<std::int16_t>(text);
    }
    return t;
}

// The rest of the input, row by row at zero bytes: a 32-bit ID, hour, minute, second and action
// bytes, then the details.
inline std::vector<EventRow> TakeRows(std::string_view text) {
    std::vector<EventRow> rows;
    while (!text.empty()) {
        const std::size_t zero = text.find('\0');
        std::string_view piece = text.substr(0, zero);
        text.remove_prefix(zero == std::string_view::npos ? text.size() : zero + 1);
        EventRow row;
        row.id = TakeNumber<std::int32_t>(piece);
        row.hour = TakeNumber<std::uint8_t>(piece);
        row.minute = TakeNumber<std::uint8_t>(piece);
        row.second = TakeNumber<std::uint8_t>(piece);
        row.action = TakeNumber<std::uint8_t>(piece);
        row.details = std::string(piece);
        rows.push_back(std::move(row));
    }
    return rows;
}

inline std::size_t CountOf(std::string_view text, char c) {
    std::size_t n = 0;
    for (char b : text) n += b == c;
    return n;
}

}  // namespace qzx::fuzz
