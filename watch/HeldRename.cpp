#include "watch/HeldRename.h"

#include <utility>

namespace qzx {

std::chrono::milliseconds RenameWait::Left(Clock::time_point now) const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(since + kHeldRenameWait - now);
    return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

void HeldRename::Take(ChangeBatch& batch, Clock::time_point now) {
    if (!held.empty()) {
        batch.insert(batch.begin(), std::move(held.front()));
        held.clear();
    }
    if (batch.empty() || batch.back().action != kActionRenamedOld) return;
    held.push_back(std::move(batch.back()));
    batch.pop_back();
    wait.Start(now);
}

ChangeBatch HeldRename::Release() {
    ChangeBatch out;
    out.swap(held);
    return out;
}

}  // namespace qzx
