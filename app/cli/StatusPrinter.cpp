// qzxwatch words the status from the controller's data, never from the window's tooltip, so the
// window's layout of it can change without changing what scripts read here.
#include "app/cli/StatusPrinter.h"

#include <algorithm>
#include <utility>

#include "app/StatusTexts.h"
#include "app/Texts.h"

namespace qzx::cli {
namespace {

StatusTopic TopicOf(TroubleKind kind) {
    switch (kind) {
        case TroubleKind::LostChanges:
            return StatusTopic::LostChanges;
        case TroubleKind::UnreadableFolder:
            return StatusTopic::UnreadableFolder;
        case TroubleKind::WatchLimit:
            return StatusTopic::WatchLimit;
        case TroubleKind::LogLines:
            break;
    }
    return StatusTopic::LogLines;
}

// What `journalctl -p warning` should find: every change that could not be recorded, and
// every part of the tree that is not watched.
bool IsLoss(StatusHeadline headline) {
    return headline == StatusHeadline::Lost || headline == StatusHeadline::Partial;
}
bool IsLoss(TroubleKind kind) { return kind != TroubleKind::LogLines; }

int PriorityOf(bool loss) { return loss ? kPriorityWarning : kPriorityInfo; }

}  // namespace

std::vector<StatusLine> WatchStatusLines(const MonitorStatus& status) {
    std::vector<StatusLine> lines;
    // Said once: the engine stays the same for the whole run.
    if (!status.engine.summary.empty()) {
        lines.push_back({StatusTopic::Engine, kPriorityInfo, status.engine.summary});
    }
    const StatusHeadline headline = Headline(status);
    lines.push_back({StatusTopic::Headline, PriorityOf(IsLoss(headline)), HeadlineText(headline)});
    if (status.state == MonitorState::Stopped && status.endedByItself) {
        lines.push_back({StatusTopic::Ended, kPriorityInfo, texts::kDetailEnded});
    }
    for (const Trouble& trouble : status.troubles) {
        lines.push_back(
            {TopicOf(trouble.kind), PriorityOf(IsLoss(trouble.kind)), TroubleText(trouble)});
    }
    if (status.ignoredChanges > 0) {
        lines.push_back({StatusTopic::Ignored, kPriorityInfo, IgnoredText(status.ignoredChanges)});
    }
    const std::string catchUp = CatchUpText(status.catchUp);
    if (!catchUp.empty()) {
        // One topic for all its sentences: a new count or problem prints them again together.
        const bool trouble = status.catchUp.saveFailed || status.catchUp.listingFailed ||
                             (status.catchUp.problem != SnapshotProblem::kNone &&
                              status.catchUp.problem != SnapshotProblem::kMissing);
        lines.push_back(
            {StatusTopic::CatchUp, PriorityOf(trouble), catchUp.substr(0, catchUp.size() - 1)});
    }
    return lines;
}

StatusPrinter::StatusPrinter(std::function<void(const std::string& line)> w, bool j)
    : write(std::move(w)), journal(j) {}

void StatusPrinter::Show(const MonitorStatus& status) {
    std::vector<StatusLine> lines = WatchStatusLines(status);
    const auto isNew = [&](const StatusLine& line) {
        return std::none_of(shown.begin(), shown.end(), [&](const StatusLine& s) {
            return s.topic == line.topic && s.text == line.text;
        });
    };
    const bool news = std::any_of(lines.begin(), lines.end(), [&](const StatusLine& line) {
        return line.topic != StatusTopic::Ignored && isNew(line);
    });
    if (!news) {
        // The count not printed stays unshown, so it goes with the next news.
        lines.erase(
            std::remove_if(lines.begin(), lines.end(),
                           [](const StatusLine& l) { return l.topic == StatusTopic::Ignored; }),
            lines.end());
        for (const StatusLine& s : shown) {
            if (s.topic == StatusTopic::Ignored) lines.push_back(s);
        }
        shown = std::move(lines);
        return;
    }
    for (const StatusLine& line : lines) {
        if (!isNew(line)) continue;
        write(journal ? "<" + std::to_string(line.priority) + ">" + line.text : line.text);
    }
    shown = std::move(lines);
}

}  // namespace qzx::cli
