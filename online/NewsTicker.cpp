// Ticker rotation and the reading of the news feed.
#include "online/NewsTicker.h"

#include <utility>

#include "online/TextTools.h"
#include "online/WebAddress.h"

namespace qzx {
namespace {

constexpr int kMinItemBytes = 8;

void LowerAscii(std::string& text) {
    // Only ASCII letters change; UTF-8 multibyte sequences never hold ASCII bytes.
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool IsForThisProgram(std::string_view target) {
    // "qzxfilesentry" holds "qzxfile", so a separate test for it would never decide anything.
    const bool aimed = Contains(target, "*") || Contains(target, "qzxfile");
    return aimed && !Contains(target, "!qzxfilesentry");
}

}  // namespace

Rgb TickerColor(std::string_view code) {
    if (code == "1") return {255, 0, 0};
    if (code == "2") return {0, 0, 255};
    if (code == "3") return {0, 255, 0};
    if (code == "4") return {130, 100, 20};
    if (code == "5") return {255, 255, 255};
    return {0, 0, 0};
}

NewsTicker::NewsTicker(std::string linkUrlDefault, std::string linkTitleDefault)
    : linkUrlDefault(std::move(linkUrlDefault)), linkTitleDefault(std::move(linkTitleDefault)) {
    tickerUrl = this->linkUrlDefault;
    tickerTitle = this->linkTitleDefault;
}

void NewsTicker::ShowDefaults() {
    tickerUrl = linkUrlDefault;
    tickerTitle = linkTitleDefault;
    tickerColor = "7";
}

bool NewsTicker::Advance() {
    if (tickerItems.empty()) {
        ShowDefaults();
        return true;
    }
    if (tickerCursor >= tickerItems.size()) tickerCursor = 0;
    const std::string& item = tickerItems[tickerCursor++];
    tickerUrl = TextTools::TextBetween(item, "<url>", "</url>");
    tickerTitle = TextTools::TextBetween(item, "<title>", "</title>");
    tickerColor = TextTools::TextBetween(item, "<color>", "</color>");
    return false;
}

std::vector<std::string> NewsTicker::AcceptedItems(std::string_view text) {
    std::string lower(text);
    LowerAscii(lower);
    const std::string body = TextTools::TextBetween(lower, "<qzxads>", "</qzxads>");
    std::vector<std::string> pieces;
    TextTools::SplitText(pieces, body, "##", 1, kMinItemBytes);
    std::vector<std::string> accepted;
    for (std::string& piece : pieces) {
        if (!Contains(piece, "<soft>") || !Contains(piece, "<url>") ||
            !Contains(piece, "<title>") || !Contains(piece, "<color>"))
            continue;
        if (!IsForThisProgram(TextTools::TextBetween(piece, "<soft>", "</soft>"))) continue;
        accepted.push_back(std::move(piece));
    }
    return accepted;
}

int NewsTicker::TakeFeed(int fetchResult, std::string_view text) {
    tickerItems.clear();
    tickerCursor = 0;
    if (fetchResult == 0) {
        ShowDefaults();
        return 0;
    }
    tickerItems = AcceptedItems(text);
    return static_cast<int>(tickerItems.size());
}

std::string NewsTicker::ClickTarget() const {
    // The feed is untrusted: an empty address or anything but a web page opens the default link.
    if (IsWebAddress(tickerUrl)) return tickerUrl;
    return linkUrlDefault;
}

}  // namespace qzx
