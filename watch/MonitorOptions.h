// The seven check boxes of the window, as the recording rules read them.
#pragma once

namespace qzx {

/// The seven check boxes; 0 clear, 1 ticked. The five kinds' boxes are named in kChangeKinds.
struct MonitorOptions {
    int optAdded = 0;
    int optDeleted = 0;
    int optModified = 0;
    int optRenamed = 0;
    int optOther = 0;
    int optAutoClear = 0;
    int optRecordLog = 0;
};

/// The options a fresh window starts with.
MonitorOptions DefaultOptions();

}  // namespace qzx
