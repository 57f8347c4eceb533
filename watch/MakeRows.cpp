#include "watch/MakeRows.h"

#include <climits>
#include <utility>

#include "watch/ChangeKind.h"

namespace qzx {
namespace {

const std::string kNoName;

// One change on its way to a row: one record, or the two halves of a rename.
struct PendingChange {
    ChangeKind kind;
    // The row's ChangeAction: a rename keeps which half came first, an unknown number is Other.
    int action;
    const ChangeRecord* record;
    // The new half of a rename whose old half came first; null otherwise.
    const ChangeRecord* newHalf;

    const std::string& Name() const { return record->name; }
    const std::string& NewName() const { return newHalf ? newHalf->name : kNoName; }
};

// The change that starts at batch[i]; leaves i on its last record.
PendingChange TakeChange(const ChangeBatch& batch, std::size_t& i) {
    const ChangeRecord& record = batch[i];
    const ChangeKind kind = KindOfAction(record.action);
    PendingChange change{kind, kind == ChangeKind::Other ? kActionOther : record.action, &record,
                         nullptr};
    // The new name follows the old directly; a half without its partner still makes a row.
    if (record.action == kActionRenamedOld && i + 1 < batch.size() &&
        batch[i + 1].action == kActionRenamedNew) {
        change.newHalf = &batch[++i];
    }
    return change;
}

bool IsRepeat(const PendingChange& change, const RecordingSettings& settings,
              const RecordingState& state) {
    return settings.duplicateWindow && InfoOf(change.kind).repeatsDropped &&
           change.Name() == state.lastName;
}

void Remember(const PendingChange& change, std::string& lastName) {
    switch (InfoOf(change.kind).windowAfter) {
        case WindowAfter::ThisName:
            lastName = change.kind == ChangeKind::Renamed ? change.NewName() : change.Name();
            return;
        case WindowAfter::NoName:
            // The name coming back right after must show, or the file would seem gone.
            lastName.clear();
            return;
        case WindowAfter::Unchanged:
            return;
    }
}

void SetDetails(EventRow& row, const PendingChange& change, const std::string& folderPath) {
    if (change.kind == ChangeKind::Renamed) {
        SetRenameDetails(row, folderPath, change.Name(), change.NewName());
        return;
    }
    row.details.reserve(folderPath.size() + change.Name().size());
    row.details = folderPath;
    row.details += change.Name();
}

bool IsIgnored(const PendingChange& change, const IgnoreRules* rules) {
    return IgnoresChange(rules, *change.record, change.newHalf);
}

// IDs that run on for ever (no list to clear) start again at 1 rather than overflow.
int NextId(int eventCount) { return eventCount == INT_MAX ? 1 : eventCount + 1; }

}  // namespace

// The kind is the one the source saw; asking the file system here would stall the recording
// thread, and the path may be gone.
bool IgnoresChange(const IgnoreRules* rules, const ChangeRecord& record,
                   const ChangeRecord* newHalf) {
    if (!rules || rules->Empty()) return false;
    if (newHalf) return rules->IgnoresRename(record.name, newHalf->name, record.kind);
    return rules->Ignores(record.name, record.kind);
}

MadeRows MakeRows(const ChangeBatch& batch, const RecordingSettings& settings, RecordingState state,
                  const LocalTime& now) {
    const MonitorOptions& o = settings.options;
    const IgnoreRules* rules = settings.ignoreRules.get();
    MadeRows out;
    out.rows.reserve(batch.size());
    if (o.optRecordLog) out.logTexts.reserve(batch.size());

    for (std::size_t i = 0; i < batch.size(); ++i) {
        const PendingChange change = TakeChange(batch, i);
        // A change dropped takes no ID and leaves the window's name alone: every reason to drop
        // one comes before the row is made. An unticked kind is not counted as ignored, since
        // the count tells the user what the patterns took away.
        if (!(o.*InfoOf(change.kind).option)) continue;
        if (IsIgnored(change, rules)) {
            ++out.ignored;
            continue;
        }
        if (IsRepeat(change, settings, state)) continue;

        EventRow row;
        state.eventCount = NextId(state.eventCount);
        row.id = state.eventCount;
        SetRecordedAt(row, now);
        row.action = static_cast<std::uint8_t>(change.action);
        row.found = change.record->found;
        SetDetails(row, change, settings.folderPath);
        // A rename's halves come from one event, so either half names the same process.
        row.process = change.record->process ? change.record->process
                      : change.newHalf       ? change.newHalf->process
                                             : nullptr;
        Remember(change, state.lastName);
        if (o.optRecordLog) out.logTexts.push_back(LogText(row));
        out.rows.push_back(std::move(row));
        ++out.made;

        if (o.optAutoClear && state.listed + out.rows.size() > kAutoClearLimit) {
            // The row that went past the limit goes with the others; the next one is ID 1.
            out.rows.clear();
            out.listCleared = true;
            state.listed = 0;
            state.eventCount = 0;
        }
    }
    state.listed += out.rows.size();
    out.next = std::move(state);
    return out;
}

}  // namespace qzx
