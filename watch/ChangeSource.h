// The seam between the recording rules and the operating system's change notifications.
#pragma once

#include <memory>
#include <string>

#include "watch/ChangeRecord.h"

namespace qzx {

/// Why part of a tree is not watched.
enum class WatchWarning {
    UnreadableFolder,  // a subfolder could not be opened or watched
    WatchLimit,        // the system's limit of watches was reached
};

/// Receives what a change source sees. Every call comes from the source's own thread,
/// one at a time; none may call ChangeSource::Stop.
class ChangeSink {
  public:
    virtual ~ChangeSink() = default;
    /// A batch of changes in the order they happened. May block for a while (the recorder waits
    /// while a list-wide operation runs); the source keeps nothing else waiting meanwhile.
    virtual void OnBatch(const ChangeBatch& batch) = 0;
    /// The kernel's queue overflowed: some changes were lost and cannot be reported.
    virtual void OnOverflow() = 0;
    /// Part of the tree is not watched; path is the folder concerned, relative like names.
    virtual void OnWarning(WatchWarning warning, const std::string& path) = 0;
    /// Watching ended by itself (the folder went away, an error). No call follows this one.
    virtual void OnEnded() = 0;
};

/// Watches a folder and everything below it.
class ChangeSource {
  public:
    virtual ~ChangeSource() = default;
    /// folder ends with the platform separator. Returns false when the folder cannot be watched
    /// (missing, not a folder, no permission); then nothing runs and the sink is never called.
    /// Otherwise the source's thread runs until Stop or until it ends by itself. GUI thread;
    /// returns quickly even for a huge tree (the subfolders are set up on the source's thread).
    virtual bool Start(const std::string& folder, ChangeSink& sink) = 0;
    /// Asks the source's thread to end and joins it. After return no sink call is running and
    /// none follows. Safe to call when not started or already ended; never kills a thread.
    virtual void Stop() = 0;
};

/// The platform's change source (inotify on Linux).
std::unique_ptr<ChangeSource> CreateChangeSource();

}  // namespace qzx
