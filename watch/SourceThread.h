// The life of a change source's one thread, the same for every backend: started from Start,
// kept from letting anything escape, asked to stop, woken and joined.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "watch/ChangeSource.h"

namespace qzx {

/// Runs a backend's watching on one thread of its own. The backend provides Watch (the
/// thread's body), Wake (how to end the body's wait) and, if a run holds resources, CloseRun;
/// a change source gets it through ThreadedChangeSource below. StartThread and StopThread are
/// called from one thread (the GUI thread or the program's main thread), never from the sink.
class SourceThread {
  public:
    SourceThread() = default;
    SourceThread(const SourceThread&) = delete;
    SourceThread& operator=(const SourceThread&) = delete;

  protected:
    /// Where a run counts as started.
    enum class Arming {
        InStart,   // the caller of StartThread set up everything: it returns at once
        OnThread,  // the thread sets up (a system's wait that ends with its thread must be
                   // issued there): StartThread returns once Watch called Armed, or ended
    };

    /// The backend's destructor must call StopThread (a change source's, Stop): by the time
    /// this one runs, the backend's Wake is gone.
    virtual ~SourceThread() = default;

    /// Starts the thread that runs Watch(sink); call it while stopped, from Start. Returns
    /// false when no thread could be had, or, with Arming::OnThread, when Watch ended before
    /// calling Armed; then the sink was never called, no thread runs and CloseRun was called.
    bool StartThread(ChangeSink& sink, Arming arming = Arming::InStart);
    /// Turns StopAsked() (and with drain DrainAsked()) true, calls Wake, joins the thread, then
    /// calls CloseRun. Once it returns no sink call is running and none follows. Safe when not
    /// started or already ended: then only CloseRun is called. Never kills the thread.
    void StopThread(bool drain);

    /// The thread's body: watches until asked to stop or until watching ends by itself.
    /// Returns true when it ended because it was asked to (StopAsked()), false when watching
    /// ended by itself. After false, or when it throws, the sink is told OnEnded; never for a
    /// run that ends before Armed with Arming::OnThread, which is Start's failure instead.
    virtual bool Watch(ChangeSink& sink) = 0;
    /// Ends the wait Watch is in, or makes its next wait end at once, so that Watch sees that
    /// it is asked to stop. Called on the stopping thread after StopAsked() turned true, while
    /// the watcher's thread may be anywhere: waiting, handing a batch to the sink, or already
    /// returned. Must neither block nor throw.
    virtual void Wake() = 0;
    /// Frees what a run holds (descriptors, handles). Called on the stopping thread once the
    /// watcher's thread is joined or never started; default nothing.
    virtual void CloseRun() {}

    /// Watcher's thread, with Arming::OnThread: everything is in place, StartThread may return
    /// true. Later calls change nothing.
    void Armed();
    /// True from the moment a stop is asked for until the thread is joined. Any thread.
    bool StopAsked() const { return stopAsked.load(); }
    /// True when the stop asked for is StopAfterDraining: the changes the system holds now are
    /// to be read and handed to the sink before Watch returns. Any thread.
    bool DrainAsked() const { return drainAsked.load(); }

  private:
    void Run(ChangeSink& sink) noexcept;

    std::thread thread;
    std::atomic<bool> stopAsked{false};
    std::atomic<bool> drainAsked{false};
    // StartThread waits on these for the thread's set-up with Arming::OnThread.
    std::mutex armingMutex;
    std::condition_variable armingChanged;
    bool armed = false;
    bool ended = false;
};

/// The base of every change source that watches on a thread of its own: Stop and
/// StopAfterDraining are the thread's. Interface is ChangeSource or an interface derived from
/// it. A backend that keeps no queue of its own to drain ignores DrainAsked(), which makes
/// StopAfterDraining a Stop.
template <class Interface = ChangeSource>
class ThreadedChangeSource : public Interface, protected SourceThread {
  public:
    /// See ChangeSource::Stop.
    void Stop() final { StopThread(false); }
    /// See ChangeSource::StopAfterDraining.
    void StopAfterDraining() final { StopThread(true); }
};

}  // namespace qzx
