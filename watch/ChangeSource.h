// The seam between the recording rules and the operating system's change notifications.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "watch/ChangeRecord.h"
#include "watch/EngineStatus.h"
#include "watch/IgnoreRules.h"

namespace qzx {

/// Why part of a tree is not watched.
enum class WatchWarning {
    UnreadableFolder,  // a subfolder could not be opened or watched
    WatchLimit,        // the system's limit of watches was reached
};

/// Receives what a change source sees. Every call comes from the source's own thread, one at a
/// time; none may call ChangeSource::Stop.
class GatheredTree;
/// Takes what a source's set-up walk listed; called on the source's thread, before OnReady.
using SetUpListingTaker = std::function<void(std::unique_ptr<GatheredTree>)>;

class ChangeSink {
  public:
    virtual ~ChangeSink() = default;
    /// A batch of changes in the order they happened. May block for a while (the recorder waits
    /// while a list-wide operation runs); whoever records puts a ChangeQueue in front of the
    /// recorder, so that the source's thread never waits for it.
    virtual void OnBatch(const ChangeBatch& batch) = 0;
    /// Setting up: watchedFolders folders are watched so far, and more are being set up. Sent
    /// now and then, only before OnReady; a source that sets up at once never sends it.
    virtual void OnArming(std::size_t watchedFolders) { (void)watchedFolders; }
    /// Every folder that existed at Start is watched (or warned about): no change made from now
    /// on is missed. Sent once per run, before any OnEnded; a source whose one watch covers the
    /// whole tree sends it first thing on its thread. Changes made during the set-up that the
    /// source found while setting up come in batches before it.
    virtual void OnReady() {}
    /// Some changes were lost and cannot be reported (the kernel's queue overflowed, or more
    /// records waited than memory may hold).
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
    /// As Stop, but the changes the system had queued when it was called are read and handed
    /// to the sink first, so that a stop after a burst leaves none of it out. Where the system
    /// keeps no such queue this is Stop.
    virtual void StopAfterDraining() { Stop(); }
    /// Which engine watches and whether records carry their process; meaningful after a Start
    /// that returned true, and unchanged until the next Start. GUI thread.
    virtual EngineStatus Engine() const { return {}; }
    /// The ignore patterns (null: none), so that a source that watches folder by folder can
    /// leave out the folders they skip (IgnoreRules::SkipsFolder) and arm again those a new list
    /// keeps. Filtering changes is the recorder's job, not this: a source that watches the whole
    /// tree with one watch does nothing here. Before Start or while running, from the thread
    /// that calls Start and Stop.
    virtual void SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules) { (void)rules; }
    /// A source whose set-up walk lists the whole tree with every entry's attributes hands that
    /// listing to take (once per run, before OnReady, unless the walk gave up), so that whoever
    /// wants a snapshot of the tree need not list it again; any other never calls take. Before
    /// Start, from the thread that calls Start.
    virtual void ShareSetUpListing(SetUpListingTaker take) { (void)take; }
};

/// The platform's change source. On Linux: fanotify where the process may use it and the
/// folder's file system allows it, inotify otherwise (Engine() says which, and why).
std::unique_ptr<ChangeSource> CreateChangeSource();

}  // namespace qzx
