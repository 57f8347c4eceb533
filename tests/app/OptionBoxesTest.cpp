// The window's option boxes against the table of change kinds.
#include <gtest/gtest.h>

#include <set>

#include "app/MainWindow.h"

namespace qzx {
namespace {

// A kind added to the table without a box of its own could never be ticked in the window.
TEST(OptionBoxes, EveryChangeKindHasABoxAndEveryBoxItsOwnOption) {
    for (const ChangeKindInfo& info : kChangeKinds) {
        int boxes = 0;
        for (const OptionBox& box : kOptionBoxes) boxes += box.option == info.option ? 1 : 0;
        EXPECT_EQ(boxes, 1) << info.word;
    }
    std::set<int> ids;
    for (const OptionBox& box : kOptionBoxes) {
        ids.insert(box.id);
        for (const OptionBox& other : kOptionBoxes) {
            if (other.id == box.id) continue;
            EXPECT_NE(other.option, box.option) << box.id;
        }
    }
    EXPECT_EQ(ids.size(), std::size(kOptionBoxes));
}

}  // namespace
}  // namespace qzx
