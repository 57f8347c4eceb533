// The kinds of change a row can have, and every fact that goes with each: the one table that
// the recording rules, the window's boxes and qzxwatch's --kinds read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "watch/ChangeRecord.h"
#include "watch/MonitorOptions.h"

namespace qzx {

/// A row's kind; both halves of a rename are one kind.
enum class ChangeKind : std::uint8_t { Added, Deleted, Modified, Renamed, Other };

/// What the duplicate window holds after a row of a kind.
enum class WindowAfter : std::uint8_t {
    ThisName,   // the name the change ends with (a rename's new name)
    NoName,     // nothing: the next change to any name is recorded
    Unchanged,  // whatever it held before
};

/// One row of kChangeKinds.
struct ChangeKindInfo {
    ChangeKind kind;
    /// The ChangeAction a source reports for it (a rename: its old half).
    int action;
    /// Column "类型", the log and the export (UTF-8).
    const char* typeName;
    /// Its word in qzxwatch's --kinds.
    const char* word;
    /// The option that records it.
    int MonitorOptions::*option;
    /// Ticked in a fresh window and in qzxwatch without --kinds.
    bool onByDefault;
    /// Within the duplicate window a change of this kind to the last name is dropped.
    bool repeatsDropped;
    /// What the duplicate window holds after a row of this kind.
    WindowAfter windowAfter;
};

/// Every kind, in the order of ChangeKind.
inline constexpr ChangeKindInfo kChangeKinds[] = {
    // kind, action, type name, word, option, on by default, repeats dropped, window after
    {ChangeKind::Added, kActionAdded, "新增", "added", &MonitorOptions::optAdded, true, true,
     WindowAfter::ThisName},
    {ChangeKind::Deleted, kActionRemoved, "删除", "deleted", &MonitorOptions::optDeleted, true,
     false, WindowAfter::NoName},
    {ChangeKind::Modified, kActionModified, "修改", "modified", &MonitorOptions::optModified, true,
     true, WindowAfter::ThisName},
    {ChangeKind::Renamed, kActionRenamedOld, "命名", "renamed", &MonitorOptions::optRenamed, true,
     false, WindowAfter::ThisName},
    {ChangeKind::Other, kActionOther, "其他", "other", &MonitorOptions::optOther, false, false,
     WindowAfter::Unchanged},
};

namespace detail {
constexpr bool InKindOrder() {
    for (std::size_t i = 0; i < std::size(kChangeKinds); ++i) {
        if (static_cast<std::size_t>(kChangeKinds[i].kind) != i) return false;
    }
    return std::size(kChangeKinds) == static_cast<std::size_t>(ChangeKind::Other) + 1;
}
}  // namespace detail
// InfoOf indexes the table by kind.
static_assert(detail::InKindOrder());

/// The table's row of kind.
constexpr const ChangeKindInfo& InfoOf(ChangeKind kind) {
    return kChangeKinds[static_cast<std::size_t>(kind)];
}

/// The kind of a ChangeAction number; any number that names none is Other.
constexpr ChangeKind KindOfAction(int action) {
    if (action == kActionRenamedNew) action = kActionRenamedOld;
    for (const ChangeKindInfo& info : kChangeKinds) {
        if (info.action == action) return info.kind;
    }
    return ChangeKind::Other;
}

/// The option that records kind.
constexpr int MonitorOptions::*OptionOf(ChangeKind kind) { return InfoOf(kind).option; }

}  // namespace qzx
