#include "watch/MonitorOptions.h"

#include "watch/ChangeKind.h"

namespace qzx {

MonitorOptions DefaultOptions() {
    MonitorOptions o;
    for (const ChangeKindInfo& info : kChangeKinds) o.*info.option = info.onByDefault ? 1 : 0;
    o.optAutoClear = 1;
    return o;
}

}  // namespace qzx
