// The news feed as fetched: a Content-Type value, then the body bytes in whatever charset it
// names. The ticker then goes round its items twice.
#include "online/HttpTools.h"
#include "online/NewsTicker.h"
#include "online/WebAddress.h"
#include "tests/fuzz/FakeHttp.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto f = qzx::fuzz::Fields(data, size, 2);
    qzx::fuzz::FixedResponse http(f[0], f[1]);
    std::string text;
    const int result = qzx::HttpTools(http).FetchText("http://127.0.0.1/news.txt", text);
    FUZZ_CHECK(result == 1);
    FUZZ_CHECK(text.find('\r') == std::string::npos && text.find('\n') == std::string::npos);

    qzx::NewsTicker ticker("http://127.0.0.1/", "default");
    const int items = ticker.TakeFeed(result, text);
    FUZZ_CHECK(items == static_cast<int>(qzx::NewsTicker::AcceptedItems(text).size()));
    for (int tick = 0; tick < 2 * items + 1; ++tick) {
        FUZZ_CHECK(ticker.Advance() == (items == 0));
        // A click opens a web address and nothing else, whatever the feed said.
        const std::string target = ticker.ClickTarget();
        FUZZ_CHECK(qzx::IsWebAddress(target) || target == "http://127.0.0.1/");
        (void)qzx::TickerColor(ticker.ColorCode());
        FUZZ_CHECK(items > 0 || ticker.Title() == "default");
    }
    return 0;
}
