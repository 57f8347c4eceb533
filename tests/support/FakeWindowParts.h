// Everything below a window under test, all of it fakes: a clock set by hand, a change source
// fed by hand, prompts that answer as told, a web the test serves and an opener that only
// notes what it was asked.
#pragma once

#include <memory>

#include "app/MonitorController.h"
#include "online/OnlineNotices.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/FakeSource.h"
#include "tests/support/OfflineNotices.h"
#include "tests/support/WindowDeps.h"
#include "watch/EventList.h"
#include "watch/EventRecorder.h"

namespace qzx::test {

/// A base of window fixtures; the parts are made in the order listed, before the window.
struct FakeWindowParts {
    EventList list;
    FakeClock clock{{2026, 12, 8, 14, 7, 9}};
    EventRecorder recorder{list, clock};
    FakePrompts prompts;
    FakeSourceState source;
    MonitorController controller{recorder, [this] { return std::make_unique<FakeSource>(source); },
                                 prompts};
    FakeWeb web;
    OnlineNotices notices{ExampleStrings(), web.Fetcher()};
    FakeOpener opener;

    /// The window's dependencies on these parts, for the fixture to finish.
    WindowDeps Deps() { return WindowDeps(list, recorder, controller, prompts, notices, opener); }
};

}  // namespace qzx::test
