// A clock that tests set by hand.
#pragma once

#include <mutex>

#include "base/Clock.h"

namespace qzx::test {

class FakeClock final : public Clock {
  public:
    explicit FakeClock(LocalTime t = {2026, 12, 8, 9, 5, 3}) : now(t) {}
    LocalTime Now() const override {
        std::lock_guard<std::mutex> lock(mutex);
        return now;
    }
    void Set(LocalTime t) {
        std::lock_guard<std::mutex> lock(mutex);
        now = t;
    }

  private:
    mutable std::mutex mutex;
    LocalTime now;
};

}  // namespace qzx::test
