// One change as a change source reports it, before any recording rule applies.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "watch/PathKind.h"
#include "watch/ProcessInfo.h"

namespace qzx {

/// Change kinds, numbered as the rows' rules expect them.
enum ChangeAction : int {
    kActionAdded = 1,
    kActionRemoved = 2,
    kActionModified = 3,
    kActionRenamedOld = 4,
    kActionRenamedNew = 5,
    kActionOther = 6,  // any value outside 1..5 is "other"
};

/// How a change was found: as it happened, or by comparing the tree with a snapshot of it.
enum ChangeFound : std::uint8_t {
    kFoundLive = 0,
    kFoundCatchUp = 1,    // made while nothing watched, found at Start
    kFoundRecovered = 2,  // hidden by an overflow, found by comparing the tree again
};

/// A change below the watched folder.
struct ChangeRecord {
    ChangeRecord() = default;
    // Sources and tests write {action, name}; a constructor rather than aggregate
    // initialisation lets a field with a default join without touching them.
    ChangeRecord(int a, std::string n) : action(a), name(std::move(n)) {}
    ChangeRecord(int a, std::string n, PathKind k) : action(a), name(std::move(n)), kind(k) {}

    int action = kActionOther;
    /// Path relative to the watched folder, raw bytes (UTF-8 expected, not guaranteed),
    /// joined with the platform's separator. A rename is two records: old name (4) directly
    /// followed by new name (5).
    std::string name;
    /// A folder or a file, where the source saw which; the ignore rules take an unknown kind
    /// for a folder.
    PathKind kind = PathKind::kUnknown;
    /// The process that made the change, where the source learns it (shared by the records of
    /// one process); empty otherwise.
    std::shared_ptr<const ProcessInfo> process = nullptr;
    /// A ChangeFound value.
    std::uint8_t found = kFoundLive;
};

using ChangeBatch = std::vector<ChangeRecord>;

}  // namespace qzx
