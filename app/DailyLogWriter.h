// The daily log as the recorder's log writer: one way for every program to join the two.
#pragma once

#include <string>
#include <vector>

#include "base/Clock.h"
#include "records/DailyLog.h"
#include "watch/EventRecorder.h"

namespace qzx {

/// Makes recorder hand the log lines of each batch to log, with the batch's one clock reading.
/// log must outlive every monitoring run of recorder. Call before monitoring starts.
inline void WriteLogTo(EventRecorder& recorder, DailyLog& log) {
    recorder.SetLogWriter([&log](const std::vector<std::string>& texts, const LocalTime& when) {
        return log.AppendLines(texts, when);
    });
}

}  // namespace qzx
