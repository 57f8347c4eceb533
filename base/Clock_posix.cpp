// The system clock on POSIX: localtime_r, which unlike localtime is safe on any thread.
#include <time.h>

#include "base/Clock.h"

namespace qzx {
namespace {

class PosixClock final : public Clock {
  public:
    LocalTime Now() const override {
        time_t now = time(nullptr);
        struct tm parts {};
        localtime_r(&now, &parts);
        LocalTime t;
        t.year = parts.tm_year + 1900;
        t.month = parts.tm_mon + 1;
        t.day = parts.tm_mday;
        t.hour = parts.tm_hour;
        t.minute = parts.tm_min;
        t.second = parts.tm_sec;
        return t;
    }
};

}  // namespace

const Clock& SystemClock() {
    static const PosixClock clock;
    return clock;
}

}  // namespace qzx
