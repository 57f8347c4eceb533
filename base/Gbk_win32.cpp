// GBK and other charsets through the Windows code pages. The code page is always named (936 for
// GBK), never CP_ACP: the files must be GBK on a Windows of any language.
#include <windows.h>

#include <climits>
#include <string>

#include "base/Gbk.h"
#include "base/WideText_win32.h"

namespace qzx {
namespace {

constexpr UINT kGbkCodePage = 936;
constexpr UINT kUtf8CodePage = CP_UTF8;
constexpr wchar_t kReplacement = 0xFFFD;

unsigned char Byte(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

// Decodes the UTF-8 sequence at the start of s. Returns its length and sets codePoint, or
// returns the number of bytes to give up on with codePoint -1: one for a byte that starts no
// sequence, the whole sequence for one that is well formed but encodes no character
// (overlong, a surrogate, past U+10FFFF).
size_t DecodeUtf8(std::string_view s, long& codePoint) {
    const unsigned char b = Byte(s, 0);
    codePoint = -1;
    const size_t n = b < 0x80           ? 1
                     : (b >> 5) == 0x6  ? 2
                     : (b >> 4) == 0xE  ? 3
                     : (b >> 3) == 0x1E ? 4
                                        : 0;
    if (n == 0 || n > s.size()) return 1;
    for (size_t i = 1; i < n; ++i) {
        if ((Byte(s, i) & 0xC0) != 0x80) return 1;
    }
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static constexpr long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    long value = b & kLeadMask[n];
    for (size_t i = 1; i < n; ++i) value = (value << 6) | (Byte(s, i) & 0x3F);
    if (value < kSmallest[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return n;
    codePoint = value;
    return n;
}

// Encodes a run of BMP characters into GBK; each one that GBK lacks becomes "?". No best-fit
// mapping: a character must never turn into a different one that merely looks alike.
void AppendGbkRun(const std::wstring& run, std::string& out) {
    if (run.empty()) return;
    const int size = static_cast<int>(run.size());
    const int length = ::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, run.data(), size,
                                             nullptr, 0, "?", nullptr);
    if (length <= 0) {
        out.append(run.size(), '?');
        return;
    }
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(length));
    ::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, run.data(), size, &out[start], length,
                          "?", nullptr);
}

struct NamedCodePage {
    const char* name;
    UINT codePage;
};

// Charset names as servers declare them, lower case.
constexpr NamedCodePage kCodePages[] = {
    {"utf-8", kUtf8CodePage}, {"utf8", kUtf8CodePage},
    {"gbk", kGbkCodePage},    {"gb2312", kGbkCodePage},
    {"cp936", kGbkCodePage},  {"x-gbk", kGbkCodePage},
    {"euc-cn", kGbkCodePage}, {"windows-936", kGbkCodePage},
    {"gb18030", 54936},       {"big5", 950},
    {"shift_jis", 932},       {"windows-31j", 932},
    {"euc-kr", 949},          {"us-ascii", 20127},
    {"iso-8859-1", 28591},    {"latin1", 28591},
    {"iso-8859-2", 28592},    {"iso-8859-15", 28605},
    {"koi8-r", 20866},        {"windows-1250", 1250},
    {"windows-1251", 1251},   {"windows-1252", 1252},
};

UINT CodePageOf(std::string_view charset) {
    std::string lower(charset);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (const NamedCodePage& entry : kCodePages) {
        if (lower == entry.name) return entry.codePage;
    }
    // An unknown name is read as GBK, the charset of the program's own documents.
    return kGbkCodePage;
}

void AppendUtf8Checked(std::string_view bytes, std::wstring& out) {
    while (!bytes.empty()) {
        long codePoint = -1;
        const size_t used = DecodeUtf8(bytes, codePoint);
        if (codePoint < 0) {
            out.push_back(kReplacement);
        } else if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (codePoint >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(codePoint));
        }
        bytes.remove_prefix(used);
    }
}

bool DecodeStrict(UINT codePage, std::string_view bytes, std::wstring& out) {
    if (bytes.empty()) return true;
    const int size = static_cast<int>(bytes.size());
    const int length =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length <= 0) return false;
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(length));
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, &out[start], length);
    return true;
}

// GBK byte by byte where needed, so that each byte that starts no character becomes one
// U+FFFD and what follows it is read again, whatever the system's own replacement rules are.
void AppendGbkDecoded(std::string_view bytes, std::wstring& out) {
    while (!bytes.empty()) {
        // The longest stretch of well-formed pairs and single bytes converts in one call.
        size_t end = 0;
        while (end < bytes.size()) {
            const unsigned char b = Byte(bytes, end);
            if (b <= 0x80) {
                ++end;
                continue;
            }
            if (b == 0xFF || end + 1 >= bytes.size()) break;
            const unsigned char t = Byte(bytes, end + 1);
            if (t < 0x40 || t == 0x7F || t == 0xFF) break;
            end += 2;
        }
        if (end > 0 && DecodeStrict(kGbkCodePage, bytes.substr(0, end), out)) {
            bytes.remove_prefix(end);
            continue;
        }
        if (end == 0) {
            out.push_back(kReplacement);
            bytes.remove_prefix(1);
            continue;
        }
        // A pair without a character in the table: go one step at a time.
        const size_t step = Byte(bytes, 0) <= 0x80 ? 1 : 2;
        if (!DecodeStrict(kGbkCodePage, bytes.substr(0, step), out)) {
            out.push_back(kReplacement);
            bytes.remove_prefix(1);
            continue;
        }
        bytes.remove_prefix(step);
    }
}

}  // namespace

void AppendGbk(std::string_view utf8, std::string& out) {
    std::wstring run;
    while (!utf8.empty()) {
        const unsigned char b = Byte(utf8, 0);
        if (b < 0x80) {
            AppendGbkRun(run, out);
            run.clear();
            out.push_back(static_cast<char>(b));
            utf8.remove_prefix(1);
            continue;
        }
        long codePoint = -1;
        const size_t used = DecodeUtf8(utf8, codePoint);
        utf8.remove_prefix(used);
        if (codePoint >= 0 && codePoint < 0x10000) {
            run.push_back(static_cast<wchar_t>(codePoint));
            continue;
        }
        // GBK has nothing outside the BMP, and broken bytes are no character at all.
        AppendGbkRun(run, out);
        run.clear();
        out.push_back('?');
    }
    AppendGbkRun(run, out);
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    if (bytes.size() > INT_MAX) bytes = bytes.substr(0, INT_MAX);
    const UINT codePage = charset.empty() ? kGbkCodePage : CodePageOf(charset);
    std::wstring wide;
    wide.reserve(bytes.size());
    if (codePage == kUtf8CodePage) {
        AppendUtf8Checked(bytes, wide);
    } else if (codePage == kGbkCodePage) {
        AppendGbkDecoded(bytes, wide);
    } else if (!bytes.empty()) {
        const int size = static_cast<int>(bytes.size());
        const int length = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
        if (length > 0) {
            wide.resize(static_cast<size_t>(length));
            ::MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), length);
        } else {
            // A code page this system does not have: GBK, as for an unknown name.
            AppendGbkDecoded(bytes, wide);
        }
    }
    return Narrow(wide);
}

}  // namespace qzx
