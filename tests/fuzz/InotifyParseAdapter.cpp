// Reaches the change source's buffer parser, which is not yet a function of its own: the
// source file is compiled here once more with its class opened up. Every header it uses is
// included first, so that the opening touches that one class and nothing else.
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
#include "tests/fuzz/InotifyParse.h"
#include "watch/ChangeSource.h"
#include "watch/InotifyTranslator.h"

#define private public
#include "watch/ChangeSource_inotify.cpp"
#undef private

namespace qzx::fuzz {

void ParseInotifyBytes(const char* data, std::size_t length, std::vector<InotifyEvent>& events) {
    InotifySource::Parse(data, length, events);
}

}  // namespace qzx::fuzz
