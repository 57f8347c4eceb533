// The layout of an inotify read: a header of fixed size, then a zero-padded name of the length
// that the header gives.
#include <sys/inotify.h>

#include <cstring>
#include <string_view>

#include "watch/InotifyParser.h"

namespace qzx {

std::size_t ParseInotifyEvents(const char* data, std::size_t length,
                               std::vector<InotifyEvent>& events) {
    events.clear();
    if (data == nullptr) return 0;
    constexpr std::size_t kHeader = sizeof(inotify_event);
    std::size_t offset = 0;
    while (length - offset >= kHeader) {
        inotify_event header;
        // A copy, because the buffer promises no alignment for the header's fields.
        std::memcpy(&header, data + offset, kHeader);
        const std::size_t room = length - offset - kHeader;
        // The kernel never cuts an event, but a name that would run past what was read is
        // taken as the end of what can be trusted.
        if (header.len > room) break;
        const char* name = data + offset + kHeader;
        const std::size_t nameLength = header.len ? ::strnlen(name, header.len) : 0;
        events.push_back(InotifyEvent{header.wd, header.mask, header.cookie,
                                      std::string_view(name, nameLength)});
        offset += kHeader + header.len;
    }
    return offset;
}

}  // namespace qzx
