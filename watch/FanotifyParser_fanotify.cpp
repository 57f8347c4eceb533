// The layout of a fanotify read: a header of fixed size with the event's length, followed by
// information records that each start with their type and length.
#include <sys/fanotify.h>

#include <cstring>

#include "watch/FanotifyParser.h"

namespace qzx {
namespace {

// A handle record: header, file system id, then a struct file_handle (its length, its type,
// its bytes); a named record's name follows the handle.
constexpr std::size_t kInfoHeader = sizeof(fanotify_event_info_header);
constexpr std::size_t kFsid = sizeof(__kernel_fsid_t);
constexpr std::size_t kHandleHeader = 2 * sizeof(std::uint32_t);
static_assert(kInfoHeader == 4 && kFsid == 8 && kHandleHeader == 8);

// Reads a handle record; false when it does not hold the handle that it announces.
bool ReadHandle(const char* record, std::size_t length, bool withName, FanotifyEntry& entry) {
    if (length < kInfoHeader + kFsid + kHandleHeader) return false;
    std::uint32_t handleBytes;
    std::memcpy(&handleBytes, record + kInfoHeader + kFsid, sizeof handleBytes);
    const std::size_t fixed = kInfoHeader + kFsid + kHandleHeader;
    if (handleBytes > length - fixed) return false;
    entry.handle = std::string_view(record + kInfoHeader, kFsid + kHandleHeader + handleBytes);
    if (!withName) return true;
    const char* name = record + fixed + handleBytes;
    const std::size_t room = length - fixed - handleBytes;
    entry.name = std::string_view(name, ::strnlen(name, room));
    entry.named = true;
    return true;
}

void ReadRecords(const char* data, std::size_t length, FanotifyEvent& event) {
    std::size_t offset = 0;
    while (length - offset >= kInfoHeader) {
        fanotify_event_info_header header;
        std::memcpy(&header, data + offset, kInfoHeader);
        if (header.len < kInfoHeader || header.len > length - offset) return;
        const char* record = data + offset;
        FanotifyEntry* target = nullptr;
        bool named = false;
        std::string_view* object = nullptr;
        switch (header.info_type) {
            case FAN_EVENT_INFO_TYPE_FID:
                object = &event.object;
                break;
            case FAN_EVENT_INFO_TYPE_DFID:
                target = &event.entry;
                break;
            case FAN_EVENT_INFO_TYPE_DFID_NAME:
                target = &event.entry;
                named = true;
                break;
            case FAN_EVENT_INFO_TYPE_OLD_DFID_NAME:
                target = &event.from;
                named = true;
                break;
            case FAN_EVENT_INFO_TYPE_NEW_DFID_NAME:
                target = &event.to;
                named = true;
                break;
            case FAN_EVENT_INFO_TYPE_PIDFD:
                if (header.len >= kInfoHeader + sizeof(std::int32_t)) {
                    std::int32_t pidfd;
                    std::memcpy(&pidfd, record + kInfoHeader, sizeof pidfd);
                    event.pidfd = pidfd >= 0 ? pidfd : -1;
                    event.process = pidfd >= 0             ? ProcessState::Running
                                    : pidfd == FAN_NOPIDFD ? ProcessState::Ended
                                                           : ProcessState::Unknown;
                }
                break;
            default:
                break;  // a record of a kind this program does not ask for
        }
        // The first record of a kind counts; the kernel never sends two.
        if (target && target->handle.empty()) {
            FanotifyEntry read;
            if (ReadHandle(record, header.len, named, read)) *target = read;
        } else if (object && object->empty()) {
            FanotifyEntry read;
            if (ReadHandle(record, header.len, false, read)) *object = read.handle;
        }
        offset += header.len;
    }
}

}  // namespace

std::size_t ParseFanotifyEvents(const char* data, std::size_t length,
                                std::vector<FanotifyEvent>& events) {
    events.clear();
    if (data == nullptr) return 0;
    constexpr std::size_t kHeader = sizeof(fanotify_event_metadata);
    std::size_t offset = 0;
    while (length - offset >= kHeader) {
        fanotify_event_metadata header;
        // A copy, because the buffer promises no alignment for the 64-bit mask.
        std::memcpy(&header, data + offset, kHeader);
        if (header.metadata_len < kHeader || header.event_len < header.metadata_len ||
            header.event_len > length - offset || header.vers != FANOTIFY_METADATA_VERSION) {
            break;
        }
        FanotifyEvent event;
        event.mask = header.mask;
        event.pid = header.pid;
        event.fd = header.fd >= 0 ? header.fd : -1;
        ReadRecords(data + offset + header.metadata_len, header.event_len - header.metadata_len,
                    event);
        events.push_back(event);
        offset += header.event_len;
    }
    return offset;
}

}  // namespace qzx
