// The tagged-text helpers on any bytes: text, open tag, close tag (or delimiter), then numbers.
#include "online/TextTools.h"
#include "tests/fuzz/FuzzInput.h"
#include "watch/EventRow.h"

using qzx::TextTools;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto f = qzx::fuzz::Fields(data, size, 4);
    const std::string_view text = f[0], open = f[1], close = f[2];
    std::string_view numbers = f[3];

    const std::string between = TextTools::TextBetween(text, open, close);
    // Whatever it returns was in the text.
    FUZZ_CHECK(between.empty() || text.find(between) != std::string_view::npos);

    const int clearFirst = qzx::fuzz::TakeNumber<std::uint8_t>(numbers) & 1;
    const int minLength = qzx::fuzz::TakeNumber<std::int8_t>(numbers);
    std::vector<std::string> list{"kept"};
    const int count = TextTools::SplitText(list, text, open, clearFirst, minLength);
    FUZZ_CHECK(count >= 0);
    FUZZ_CHECK(list.size() == static_cast<std::size_t>(count) + (clearFirst ? 0 : 1));
    std::size_t least = minLength < 0 ? 0 : static_cast<std::size_t>(minLength);
    if (!open.empty() && least == 0) least = 2;
    std::size_t total = 0;
    for (std::size_t i = clearFirst ? 0 : 1; i < list.size(); ++i) {
        FUZZ_CHECK(list[i].size() >= least);
        FUZZ_CHECK(text.find(list[i]) != std::string_view::npos);
        total += list[i].size();
    }
    FUZZ_CHECK(total <= text.size());

    // A path's folder is always its start.
    const char separator = close.empty() ? '/' : close.front();
    const std::string folder = qzx::FolderOfPath(text, separator);
    FUZZ_CHECK(text.substr(0, folder.size()) == folder);
    return 0;
}
