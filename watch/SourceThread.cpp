#include "watch/SourceThread.h"

#include <system_error>

namespace qzx {

bool SourceThread::StartThread(ChangeSink& sink, Arming arming) {
    stopAsked = false;
    drainAsked = false;
    {
        std::lock_guard<std::mutex> lock(armingMutex);
        armed = arming == Arming::InStart;
        ended = false;
    }
    try {
        thread = std::thread([this, &sink] { Run(sink); });
    } catch (const std::system_error&) {
        // No thread to be had is a failure to start, not an error for the caller to catch.
        CloseRun();
        return false;
    }
    if (arming == Arming::InStart) return true;
    bool started = false;
    {
        std::unique_lock<std::mutex> lock(armingMutex);
        armingChanged.wait(lock, [this] { return armed || ended; });
        started = armed;
    }
    if (started) return true;
    thread.join();
    CloseRun();
    return false;
}

void SourceThread::Armed() {
    {
        std::lock_guard<std::mutex> lock(armingMutex);
        armed = true;
    }
    armingChanged.notify_all();
}

void SourceThread::Run(ChangeSink& sink) noexcept {
    // Nothing may escape the thread's entry; a failure here ends the watch like a read error.
    bool stopped = false;
    try {
        stopped = Watch(sink);
    } catch (...) {
        stopped = false;
    }
    bool wasArmed = false;
    {
        std::lock_guard<std::mutex> lock(armingMutex);
        wasArmed = armed;
        ended = true;
    }
    if (!wasArmed) {
        // StartThread is waiting and reports the failure; the sink hears nothing of a run that
        // never began.
        armingChanged.notify_all();
        return;
    }
    if (!stopped) sink.OnEnded();
}

void SourceThread::StopThread(bool drain) {
    if (thread.joinable()) {
        drainAsked = drain;
        stopAsked = true;
        Wake();
        thread.join();
        stopAsked = false;
        drainAsked = false;
    }
    CloseRun();
}

}  // namespace qzx
