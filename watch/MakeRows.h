// The recording rules as one step without effects: which changes of a batch become rows, their
// IDs and wording, the duplicate window and the automatic clearing. EventRecorder runs it under
// its lock and hands the outcome on.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "watch/ChangeRecord.h"
#include "watch/EventRow.h"
#include "watch/IgnoreRules.h"
#include "watch/MonitorOptions.h"

namespace qzx {

/// Above this many rows automatic clearing empties the list.
inline constexpr std::size_t kAutoClearLimit = 10000;

/// What the rules read that no batch changes.
struct RecordingSettings {
    MonitorOptions options;
    /// The run's folder, ending with the separator; every row's path starts with it.
    std::string folderPath;
    /// Off: no change is ever dropped as a repeat of the last name.
    bool duplicateWindow = true;
    /// The ignore patterns; null or empty: nothing is ignored.
    std::shared_ptr<const IgnoreRules> ignoreRules;
};

/// What the rules carry from one batch to the next.
struct RecordingState {
    /// The ID of the last row made; 0 when the IDs start again.
    int eventCount = 0;
    /// The name the duplicate window holds; empty once the window ended.
    std::string lastName;
    /// Rows in the list when the batch comes.
    std::size_t listed = 0;
};

/// What one batch comes to.
struct MadeRows {
    /// The rows to append to the list, oldest first.
    std::vector<EventRow> rows;
    /// One log text per row made, rows cleared away included; none without optRecordLog.
    std::vector<std::string> logTexts;
    /// The list must be emptied before rows are appended: a row went past kAutoClearLimit.
    bool listCleared = false;
    /// Rows made, those cleared away included.
    std::size_t made = 0;
    /// Changes of a recorded kind that the ignore patterns left out (a rename counts once).
    std::size_t ignored = 0;
    /// The state for the next batch.
    RecordingState next;
};

/// Whether the ignore rules (null: none) leave out one change: a record, or the old half of a
/// rename with its new half. The recorder and the administrator helper decide alike.
bool IgnoresChange(const IgnoreRules* rules, const ChangeRecord& record,
                   const ChangeRecord* newHalf);

/// Applies the rules to batch (oldest first), stamping every row with now. Touches nothing but
/// its result, so any thread may call it; the caller keeps calls for one list in order.
MadeRows MakeRows(const ChangeBatch& batch, const RecordingSettings& settings, RecordingState state,
                  const LocalTime& now);

}  // namespace qzx
