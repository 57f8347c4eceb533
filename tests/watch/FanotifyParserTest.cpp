// Splitting raw fanotify reads into events and records, including reads no kernel would send.
#include <gtest/gtest.h>
#include <sys/fanotify.h>

#include <cstring>
#include <memory>
#include <string>

#include "watch/FanotifyParser.h"

namespace qzx {
namespace {

// Builds a read as the kernel lays it out: each event's header, then its records.
class ReadBuilder {
  public:
    // Starts an event; its length is filled in by End.
    ReadBuilder& Begin(std::uint64_t mask, int pid) {
        start = bytes.size();
        fanotify_event_metadata header{};
        header.vers = FANOTIFY_METADATA_VERSION;
        header.metadata_len = sizeof header;
        header.mask = mask;
        header.fd = FAN_NOFD;
        header.pid = pid;
        Put(&header, sizeof header);
        return *this;
    }
    // A handle record: fsid, handle length and type, the handle's bytes, and a name when the
    // type carries one; padded to four bytes as the kernel pads it.
    ReadBuilder& Handle(std::uint8_t type, const std::string& handle, const char* name = nullptr) {
        std::string body(8, 'F');  // fsid
        std::uint32_t length = static_cast<std::uint32_t>(handle.size());
        std::int32_t handleType = 1;
        body.append(reinterpret_cast<const char*>(&length), 4);
        body.append(reinterpret_cast<const char*>(&handleType), 4);
        body += handle;
        if (name) body.append(name, std::strlen(name) + 1);
        while ((body.size() + 4) % 4) body += '\0';
        Record(type, body);
        return *this;
    }
    ReadBuilder& Pidfd(std::int32_t pidfd) {
        Record(FAN_EVENT_INFO_TYPE_PIDFD, std::string(reinterpret_cast<const char*>(&pidfd), 4));
        return *this;
    }
    ReadBuilder& Record(std::uint8_t type, const std::string& body) {
        fanotify_event_info_header header{type, 0, static_cast<std::uint16_t>(4 + body.size())};
        Put(&header, sizeof header);
        bytes += body;
        return *this;
    }
    ReadBuilder& End() {
        std::uint32_t length = static_cast<std::uint32_t>(bytes.size() - start);
        std::memcpy(&bytes[start], &length, sizeof length);
        return *this;
    }
    std::string bytes;

  private:
    void Put(const void* data, std::size_t size) {
        bytes.append(static_cast<const char*>(data), size);
    }
    std::size_t start = 0;
};

// Parses exactly the given bytes from a heap block of that size, so that a read past its end
// is a read past the allocation.
std::size_t ParseExact(const std::string& bytes, std::vector<FanotifyEvent>& events,
                       std::unique_ptr<char[]>& block) {
    block.reset(new char[bytes.size() ? bytes.size() : 1]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    return ParseFanotifyEvents(block.get(), bytes.size(), events);
}

// The handle as the parser hands it out: the fsid, the handle's length and type, its bytes.
std::string KeyOf(const std::string& handle) {
    std::string key(8, 'F');
    std::uint32_t length = static_cast<std::uint32_t>(handle.size());
    std::int32_t type = 1;
    key.append(reinterpret_cast<const char*>(&length), 4);
    key.append(reinterpret_cast<const char*>(&type), 4);
    return key + handle;
}

TEST(FanotifyParser, EveryRecordKindInOrder) {
    ReadBuilder read;
    read.Begin(FAN_CREATE | FAN_ONDIR, 42)
        .Handle(FAN_EVENT_INFO_TYPE_DFID_NAME, "dir-handle", "new")
        .Handle(FAN_EVENT_INFO_TYPE_FID, "child-handle")
        .Pidfd(7)
        .End();
    read.Begin(FAN_RENAME, 43)
        .Handle(FAN_EVENT_INFO_TYPE_OLD_DFID_NAME, "old-dir", "a")
        .Handle(FAN_EVENT_INFO_TYPE_NEW_DFID_NAME, "new-dir", "b")
        .Pidfd(FAN_NOPIDFD)
        .End();
    read.Begin(FAN_ATTRIB, 44).Handle(FAN_EVENT_INFO_TYPE_DFID, "only-dir").Pidfd(FAN_EPIDFD).End();
    read.Begin(FAN_Q_OVERFLOW, 0).End();
    std::vector<FanotifyEvent> events{FanotifyEvent{}};
    std::unique_ptr<char[]> block;
    EXPECT_EQ(ParseExact(read.bytes, events, block), read.bytes.size());
    ASSERT_EQ(events.size(), 4u);

    EXPECT_EQ(events[0].mask, std::uint64_t(FAN_CREATE | FAN_ONDIR));
    EXPECT_EQ(events[0].pid, 42);
    EXPECT_EQ(events[0].fd, -1);
    EXPECT_EQ(events[0].entry.handle, KeyOf("dir-handle"));
    EXPECT_EQ(events[0].entry.name, "new");
    EXPECT_TRUE(events[0].entry.named);
    EXPECT_EQ(events[0].object, KeyOf("child-handle"));
    EXPECT_EQ(events[0].pidfd, 7);
    EXPECT_EQ(events[0].process, ProcessState::Running);

    EXPECT_TRUE(events[1].entry.handle.empty());
    EXPECT_EQ(events[1].from.handle, KeyOf("old-dir"));
    EXPECT_EQ(events[1].from.name, "a");
    EXPECT_EQ(events[1].to.handle, KeyOf("new-dir"));
    EXPECT_EQ(events[1].to.name, "b");
    EXPECT_EQ(events[1].pidfd, -1);
    EXPECT_EQ(events[1].process, ProcessState::Ended);

    EXPECT_EQ(events[2].entry.handle, KeyOf("only-dir"));
    EXPECT_FALSE(events[2].entry.named);
    EXPECT_EQ(events[2].process, ProcessState::Unknown);

    EXPECT_EQ(events[3].mask, std::uint64_t(FAN_Q_OVERFLOW));
    EXPECT_TRUE(events[3].entry.handle.empty());
    EXPECT_EQ(events[3].process, ProcessState::Unknown);
}

// A read cut anywhere ends the parse after the last whole event, and nothing past the cut is
// read (the block is exactly as long as the cut).
TEST(FanotifyParser, CutReadsStopAtTheLastWholeEvent) {
    ReadBuilder first;
    first.Begin(FAN_MODIFY, 1).Handle(FAN_EVENT_INFO_TYPE_DFID_NAME, "h1", "file").End();
    ReadBuilder both = first;
    both.Begin(FAN_DELETE, 2)
        .Handle(FAN_EVENT_INFO_TYPE_DFID_NAME, "h2", "longer-name")
        .Handle(FAN_EVENT_INFO_TYPE_FID, "h3")
        .End();
    for (std::size_t cut = 0; cut < both.bytes.size(); ++cut) {
        std::vector<FanotifyEvent> events;
        std::unique_ptr<char[]> block;
        const std::size_t used = ParseExact(both.bytes.substr(0, cut), events, block);
        if (cut < first.bytes.size()) {
            EXPECT_EQ(used, 0u) << cut;
            EXPECT_TRUE(events.empty()) << cut;
        } else {
            EXPECT_EQ(used, first.bytes.size()) << cut;
            ASSERT_EQ(events.size(), 1u) << cut;
            EXPECT_EQ(events[0].entry.name, "file");
        }
    }
}

// What a kernel never sends is read as far as it can be trusted and no further.
TEST(FanotifyParser, MalformedEventsAndRecords) {
    std::vector<FanotifyEvent> events;
    std::unique_ptr<char[]> block;

    // An event shorter than its own header ends the parse.
    ReadBuilder shortEvent;
    shortEvent.Begin(FAN_MODIFY, 1).End();
    std::uint32_t tooShort = 8;
    std::memcpy(&shortEvent.bytes[0], &tooShort, 4);
    EXPECT_EQ(ParseExact(shortEvent.bytes, events, block), 0u);
    EXPECT_TRUE(events.empty());

    // Another version of the layout is not guessed at.
    ReadBuilder otherVersion;
    otherVersion.Begin(FAN_MODIFY, 1).End();
    otherVersion.bytes[4] = FANOTIFY_METADATA_VERSION + 1;
    EXPECT_EQ(ParseExact(otherVersion.bytes, events, block), 0u);

    // A record of length zero, or one longer than its event, ends that event's records only.
    ReadBuilder badRecords;
    badRecords.Begin(FAN_MODIFY, 1).Record(FAN_EVENT_INFO_TYPE_FID, "").End();
    std::string zero = badRecords.bytes;
    zero[sizeof(fanotify_event_metadata) + 2] = 0;  // the record's length
    zero[sizeof(fanotify_event_metadata) + 3] = 0;
    ReadBuilder next;
    next.Begin(FAN_DELETE, 2).Handle(FAN_EVENT_INFO_TYPE_DFID_NAME, "h", "x").End();
    EXPECT_EQ(ParseExact(zero + next.bytes, events, block), zero.size() + next.bytes.size());
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].object.empty());
    EXPECT_EQ(events[1].entry.name, "x");

    ReadBuilder longRecord;
    longRecord.Begin(FAN_MODIFY, 1).Record(FAN_EVENT_INFO_TYPE_FID, std::string(20, 'x')).End();
    longRecord.bytes[sizeof(fanotify_event_metadata) + 2] = 100;
    EXPECT_EQ(ParseExact(longRecord.bytes, events, block), longRecord.bytes.size());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].object.empty());

    // A handle longer than its record is no handle; a name without its zero ends with the
    // record; a record of a kind not asked for is passed over.
    std::string body(8, 'F');
    std::uint32_t huge = 1000;
    std::int32_t type = 1;
    body.append(reinterpret_cast<const char*>(&huge), 4);
    body.append(reinterpret_cast<const char*>(&type), 4);
    body += "abcd";
    std::string unterminated(8, 'F');
    std::uint32_t two = 2;
    unterminated.append(reinterpret_cast<const char*>(&two), 4);
    unterminated.append(reinterpret_cast<const char*>(&type), 4);
    unterminated += "hhname";
    ReadBuilder odd;
    odd.Begin(FAN_CREATE, 3)
        .Record(FAN_EVENT_INFO_TYPE_FID, body)
        .Record(99, "????")
        .Record(FAN_EVENT_INFO_TYPE_DFID_NAME, unterminated)
        .Record(FAN_EVENT_INFO_TYPE_PIDFD, "")
        .End();
    EXPECT_EQ(ParseExact(odd.bytes, events, block), odd.bytes.size());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].object.empty());
    EXPECT_EQ(events[0].entry.handle.size(), 8u + 8u + 2u);
    EXPECT_EQ(events[0].entry.name, "name");
    EXPECT_EQ(events[0].process, ProcessState::Unknown);
}

}  // namespace
}  // namespace qzx
