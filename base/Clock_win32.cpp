// The system clock on Windows: GetLocalTime already gives the broken-down local time.
#include <windows.h>

#include "base/Clock.h"

namespace qzx {
namespace {

class Win32Clock final : public Clock {
  public:
    LocalTime Now() const override {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        LocalTime t;
        t.year = now.wYear;
        t.month = now.wMonth;
        t.day = now.wDay;
        t.hour = now.wHour;
        t.minute = now.wMinute;
        t.second = now.wSecond;
        return t;
    }
};

}  // namespace

const Clock& SystemClock() {
    static const Win32Clock clock;
    return clock;
}

}  // namespace qzx
