// Only while the watcher has no parser of its own: reaches the one inside the change source by
// compiling that file here once more with its class opened up. Every header it uses is included
// first, so that the opening touches that one class and nothing else.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "base/UniqueFd.h"
#include "watch/ChangeSource.h"
#include "watch/InotifyParser.h"
#include "watch/InotifyTranslator.h"

#define private public
#include "watch/ChangeSource_inotify.cpp"
#undef private

namespace qzx {

std::size_t ParseInotifyEvents(const char* data, std::size_t length,
                               std::vector<InotifyEvent>& events) {
    InotifySource::Parse(data, length, events);
    return 0;
}

}  // namespace qzx
