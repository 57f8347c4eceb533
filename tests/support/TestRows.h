// Rows as the watcher makes them, for tests of what is done with rows.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "watch/EventRow.h"

namespace qzx::test {

/// A row as the watcher would have made it.
inline EventRow Row(int id, int h, int m, int s, int action, std::string details) {
    EventRow row;
    row.id = id;
    row.hour = static_cast<std::uint8_t>(h);
    row.minute = static_cast<std::uint8_t>(m);
    row.second = static_cast<std::uint8_t>(s);
    row.action = static_cast<std::uint8_t>(action);
    row.details = std::move(details);
    return row;
}

}  // namespace qzx::test
