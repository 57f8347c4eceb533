// Web addresses from online documents are untrusted; only plain web pages may be opened.
#include "online/WebAddress.h"

namespace qzx {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

}  // namespace

bool IsWebAddress(std::string_view address) {
    size_t schemeLength = 0;
    if (StartsWithNoCase(address, "http://")) {
        schemeLength = 7;
    } else if (StartsWithNoCase(address, "https://")) {
        schemeLength = 8;
    } else {
        return false;
    }
    if (address.size() == schemeLength) return false;
    // A control byte has no place in an address and could split it into two arguments for
    // whatever the opener hands it to.
    for (char c : address) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return false;
    }
    return true;
}

std::string EscapeWebAddress(std::string_view address) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(address.size());
    for (char c : address) {
        switch (c) {
            case ' ':
            case '"':
            case '<':
            case '>':
            case '^':
            case '`':
            case '{':
            case '|':
            case '}': {
                const auto b = static_cast<unsigned char>(c);
                out += '%';
                out += kHex[b >> 4];
                out += kHex[b & 0xF];
                break;
            }
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace qzx
