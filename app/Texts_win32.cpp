// Texts as Windows words them.
#include "app/Texts.h"

namespace qzx::texts {

// Windows watches a whole tree with one handle and has no per-folder limit; should a watch
// still be refused, the text names no setting the user could change.
const char* const kDetailWatchLimit =
    "系统无法再监控更多的文件夹，以下位置及之后的子文件夹未被监控：";

}  // namespace qzx::texts
