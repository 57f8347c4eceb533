// Texts that only Linux has cause to show.
#include "app/Texts.h"

namespace qzx::texts {

const char* const kDetailWatchLimit =
    "已达到系统的监控数量上限（fs.inotify.max_user_watches），以下位置及之后的子文件夹未被监控：";

}  // namespace qzx::texts
