// A wake-up for a thread that sleeps until there is something to pick up: the window's GUI
// thread, qzxwatch's main thread. Other threads raise it after they left something; however
// often they do, the sleeper is woken once until it takes the wake-up.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

namespace qzx {

class Wakeup {
  public:
    /// Sets what wakes the sleeper (post an event or a message to it; nothing slow), or null for
    /// nothing. Any thread; when it returns, the notify it replaced is no longer running.
    void SetNotify(std::function<void()> notify) {
        std::lock_guard<std::mutex> lock(mutex);
        wake = std::move(notify);
    }
    /// After leaving something for the sleeper. Any thread.
    void Raise() {
        if (raised.exchange(true, std::memory_order_acq_rel)) return;
        std::lock_guard<std::mutex> lock(mutex);
        if (wake) wake();
    }
    /// Before looking at what was left: true when a wake-up was raised since the last call.
    /// Whatever is left after this call raises a new one.
    bool Take() { return raised.exchange(false, std::memory_order_acq_rel); }

  private:
    std::atomic<bool> raised{false};
    std::mutex mutex;
    std::function<void()> wake;
};

}  // namespace qzx
