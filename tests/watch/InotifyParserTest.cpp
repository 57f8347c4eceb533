// Splitting raw inotify reads, including reads that no kernel would send.
#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <cstring>
#include <memory>
#include <string>

#include "watch/InotifyParser.h"

namespace qzx {
namespace {

// Appends one event with a name field of nameField bytes (the name, then zeros).
void Append(std::string& buffer, int wd, std::uint32_t mask, const std::string& name,
            std::uint32_t nameField) {
    inotify_event header{};
    header.wd = wd;
    header.mask = mask;
    header.cookie = 7;
    header.len = nameField;
    buffer.append(reinterpret_cast<const char*>(&header), sizeof header);
    std::string field = name.substr(0, nameField);
    field.resize(nameField, '\0');
    buffer += field;
}

// Parses exactly the given bytes from a heap block of that size, so that a read past its end
// is a read past the allocation.
std::size_t ParseExact(const std::string& bytes, std::vector<InotifyEvent>& events,
                       std::unique_ptr<char[]>& block) {
    block.reset(new char[bytes.size() ? bytes.size() : 1]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    return ParseInotifyEvents(block.get(), bytes.size(), events);
}

TEST(InotifyParser, WholeEventsInOrder) {
    std::string buffer;
    Append(buffer, 1, IN_CREATE, "a.txt", 16);
    Append(buffer, 2, IN_DELETE_SELF, "", 0);
    Append(buffer, 3, IN_MODIFY, "exactly16bytes!!", 16);  // no zero inside its field
    std::vector<InotifyEvent> events{InotifyEvent{}};
    std::unique_ptr<char[]> block;
    EXPECT_EQ(ParseExact(buffer, events, block), buffer.size());
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].wd, 1);
    EXPECT_EQ(events[0].name, "a.txt");
    EXPECT_EQ(events[0].cookie, 7u);
    EXPECT_EQ(events[1].mask, std::uint32_t(IN_DELETE_SELF));
    EXPECT_TRUE(events[1].name.empty());
    EXPECT_EQ(events[2].name, "exactly16bytes!!");
}

// A read cut inside a header or inside the name its header announces ends the parse there.
TEST(InotifyParser, CutReadsStopAtTheLastWholeEvent) {
    std::string whole;
    Append(whole, 1, IN_CREATE, "a", 16);
    std::string next;
    Append(next, 2, IN_CREATE, "longer-name", 32);
    for (std::size_t cut = 0; cut < next.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::vector<InotifyEvent> events;
        std::unique_ptr<char[]> block;
        EXPECT_EQ(ParseExact(whole + next.substr(0, cut), events, block), whole.size());
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].name, "a");
    }
    // A length near the top of its range must not wrap the bounds check round.
    std::string huge;
    Append(huge, 3, IN_CREATE, "", 0);
    inotify_event header;
    std::memcpy(&header, huge.data(), sizeof header);
    header.len = 0xFFFFFFFFu;
    std::memcpy(huge.data(), &header, sizeof header);
    std::vector<InotifyEvent> events;
    std::unique_ptr<char[]> block;
    EXPECT_EQ(ParseExact(huge + "name", events, block), 0u);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(ParseInotifyEvents(nullptr, 0, events), 0u);
}

}  // namespace
}  // namespace qzx
