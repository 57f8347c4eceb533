// The news ticker at the bottom of the window: its items, its rotation and its colours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qzx {

/// A text colour.
struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
};

/// The colour of a ticker colour code, compared whole: "7" black, "1" red, "2" blue, "3" green,
/// "4" brown (130, 100, 20), "5" white, anything else black.
Rgb TickerColor(std::string_view code);

/// The ticker's state machine. It fetches nothing itself: Advance says when the feed is wanted
/// and TakeFeed receives the fetched text later. Not thread-safe; the GUI thread owns it.
class NewsTicker {
  public:
    /// The two service strings shown while no feed item is (UTF-8).
    NewsTicker(std::string linkUrlDefault, std::string linkTitleDefault);

    /// One tick: shows the next item, wrapping after the last, or the default title in black
    /// while there is none. Returns true when there is no item, so the feed should be fetched
    /// now (unless a fetch is still under way).
    bool Advance();

    /// Takes the result of a feed fetch (FetchText's result and UTF-8 text) and keeps the
    /// accepted items; returns their number, 0 on failure. What is shown changes on the next
    /// tick, not here.
    int TakeFeed(int fetchResult, std::string_view text);

    /// The accepted items of a feed text: lower-cased, inside "<qzxads>", split at "##" with
    /// pieces of 8 bytes or more, carrying the four tags, aimed at this program.
    static std::vector<std::string> AcceptedItems(std::string_view text);

    /// The text to show now (UTF-8).
    const std::string& Title() const { return tickerTitle; }
    /// The colour code to show it in.
    const std::string& ColorCode() const { return tickerColor; }
    /// The address of the item shown now, as the feed gave it; may be empty or unsafe.
    const std::string& Url() const { return tickerUrl; }
    /// The address a click opens: the shown item's address when it is a web address, else
    /// linkUrlDefault.
    std::string ClickTarget() const;
    /// Number of accepted items; once nonzero the feed is never wanted again.
    std::size_t ItemCount() const { return tickerItems.size(); }

  private:
    void ShowDefaults();

    std::string linkUrlDefault;
    std::string linkTitleDefault;
    std::vector<std::string> tickerItems;
    std::size_t tickerCursor = 0;  // index of the item the next tick shows
    std::string tickerUrl;
    std::string tickerTitle;
    std::string tickerColor = "7";
};

}  // namespace qzx
