// How the window words what the controller reports; qzxwatch words it in app/cli.
#include "app/StatusTexts.h"

#include "app/Texts.h"
#include "watch/EngineTexts.h"

namespace qzx {

std::string TroubleText(const Trouble& trouble) {
    const char* text = texts::kDetailLost;
    const char* unit = texts::kDetailTimes;
    switch (trouble.kind) {
        case TroubleKind::LostChanges:
            break;
        case TroubleKind::UnreadableFolder:
            text = texts::kDetailUnreadable;
            unit = texts::kDetailPlaces;
            break;
        case TroubleKind::WatchLimit:
            text = texts::kDetailWatchLimit;
            break;
        case TroubleKind::LogLines:
            text = texts::kDetailLogFailing;
            unit = texts::kDetailLines;
            break;
    }
    std::string line = text;
    line += trouble.path;
    line += texts::kDetailCountOpen;
    line += std::to_string(trouble.count);
    line += unit;
    line += texts::kDetailLastSeen;
    line += TimeOfDayText(trouble.lastSeen);
    line += texts::kDetailCountClose;
    return line;
}

std::string IgnoredText(std::size_t count) {
    return texts::kDetailIgnoredBefore + std::to_string(count) + texts::kDetailIgnoredAfter;
}

std::string EngineText(const EngineStatus& engine) {
    if (engine.summary.empty() && engine.fallbackReason.empty()) return {};
    std::string line = engine.summary;
    // The choosing source puts the reason into its summary; a source that only fills in the
    // reason still has it said.
    if (!engine.fallbackReason.empty() && line.find(engine.fallbackReason) == std::string::npos) {
        line += texts::kEngineWhyNotOpen + engine.fallbackReason + texts::kEngineWhyNotClose;
    }
    return line + "\n";
}

namespace {

const char* ProblemText(SnapshotProblem problem) {
    switch (problem) {
        case SnapshotProblem::kTruncated:
            return texts::kCatchUpTruncated;
        case SnapshotProblem::kCorrupt:
            return texts::kCatchUpCorrupt;
        case SnapshotProblem::kOtherFolder:
            return texts::kCatchUpOtherFolder;
        case SnapshotProblem::kNewerFormat:
            return texts::kCatchUpNewerFormat;
        case SnapshotProblem::kTooLarge:
            return texts::kCatchUpTooLarge;
        case SnapshotProblem::kUnreadable:
            return texts::kCatchUpUnreadable;
        case SnapshotProblem::kNone:
        case SnapshotProblem::kMissing:
            break;
    }
    return nullptr;
}

std::string DateTimeText(const LocalTime& t) {
    return std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day) +
           " " + TimeOfDayText(t);
}

}  // namespace

std::string CatchUpText(const CatchUpStatus& status) {
    if (!status.active) return {};
    std::string text;
    if (status.comparing) text += std::string(texts::kCatchUpComparing) + "\n";
    if (status.compared) {
        text += texts::kCatchUpFoundBefore + std::to_string(status.found) +
                texts::kCatchUpFoundMiddle + DateTimeText(status.since) +
                texts::kCatchUpFoundAfter + "\n";
    }
    if (status.problem == SnapshotProblem::kMissing && !status.comparing) {
        text += std::string(texts::kCatchUpFirst) + "\n";
    }
    if (const char* problem = ProblemText(status.problem)) {
        text += std::string(texts::kCatchUpBadBefore) + problem + texts::kCatchUpBadAfter + "\n";
    }
    if (status.recoveries > 0) {
        text += texts::kCatchUpRecoveredBefore + std::to_string(status.recovered) +
                texts::kCatchUpRecoveredAfter + "\n";
    }
    if (status.listingFailed) text += std::string(texts::kCatchUpListFailed) + "\n";
    if (status.saveFailed) text += std::string(texts::kCatchUpSaveFailed) + "\n";
    return text;
}

const char* HeadlineText(StatusHeadline headline) {
    switch (headline) {
        case StatusHeadline::Idle:
            return texts::kStatusIdle;
        case StatusHeadline::Arming:
            return texts::kStatusArming;
        case StatusHeadline::Monitoring:
            return texts::kStatusMonitoring;
        case StatusHeadline::LogFailing:
            return texts::kStatusLogFailing;
        case StatusHeadline::Lost:
            return texts::kStatusLost;
        case StatusHeadline::Partial:
            return texts::kStatusPartial;
        case StatusHeadline::Stopped:
            break;
    }
    return texts::kStatusStopped;
}

StatusTexts WindowStatusTexts(const MonitorStatus& status) {
    StatusTexts t;
    t.line = HeadlineText(Headline(status));
    if (status.state == MonitorState::Arming) {
        t.toolTip = texts::kDetailArmingBefore + std::to_string(status.armedFolders) +
                    texts::kDetailArmingAfter + "\n";
    }
    if (status.state == MonitorState::Stopped && status.endedByItself) {
        t.toolTip = texts::kDetailEnded;
    }
    for (const Trouble& trouble : status.troubles) t.toolTip += TroubleText(trouble) + "\n";
    t.toolTip += CatchUpText(status.catchUp);
    if (status.ignoredChanges > 0) t.toolTip += IgnoredText(status.ignoredChanges) + "\n";
    // Said while a run is on only: after a stop it would tell of a run that no longer watches.
    const bool running =
        status.state == MonitorState::Arming || status.state == MonitorState::Monitoring;
    if (running) t.toolTip += EngineText(status.engine);
    return t;
}

}  // namespace qzx
