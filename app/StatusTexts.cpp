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
    if (status.ignoredChanges > 0) t.toolTip += IgnoredText(status.ignoredChanges) + "\n";
    // Said while a run is on only: after a stop it would tell of a run that no longer watches.
    const bool running =
        status.state == MonitorState::Arming || status.state == MonitorState::Monitoring;
    if (running) t.toolTip += EngineText(status.engine);
    return t;
}

}  // namespace qzx
