// GBK and other charsets through glibc's iconv.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "base/Gbk.h"

namespace qzx {
namespace {

// One descriptor per conversion call: iconv_t is not safe to share between threads.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns the number of input bytes consumed and appends the
    // output. Stops at an unconvertible or incomplete sequence.
    size_t Convert(std::string_view in, std::string& out) {
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (r != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            break;
        }
        return in.size() - srcLeft;
    }
    void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  private:
    iconv_t cd_;
};

// Length of the UTF-8 sequence that starts at s, or 1 when s does not start a valid one.
size_t Utf8SequenceLength(std::string_view s) {
    const auto b = static_cast<unsigned char>(s[0]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || n > s.size()) return 1;
    for (size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
    }
    return n;
}

// Bytes at the start of s below 0x80.
size_t AsciiPrefix(std::string_view s) {
    size_t i = 0;
    // Eight at a time: a long path is mostly ASCII, and this runs for every line of a burst.
    for (std::uint64_t word; i + 8 <= s.size(); i += 8) {
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080u) break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

// Converts a text that starts with a non-ASCII byte.
void AppendConverted(std::string_view utf8, std::string& out) {
    // Opening a converter costs more than converting a path; keep one per thread.
    thread_local Converter conv("GBK", "UTF-8");
    if (!conv.ok()) {
        for (char c : utf8) out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
        return;
    }
    while (!utf8.empty()) {
        utf8.remove_prefix(conv.Convert(utf8, out));
        if (utf8.empty()) break;
        // A character GBK lacks, or bytes that are no UTF-8 at all: one "?" for each.
        out.push_back('?');
        utf8.remove_prefix(Utf8SequenceLength(utf8));
        // The converter stops in its start state after a whole text, but not after an error.
        conv.Reset();
    }
}

// GBK has no state and maps each character on its own, so what the converter makes of a character
// alone it makes of it anywhere. Each thread learns the BMP a block of 256 characters at a time,
// from the converter itself, the first time a text needs the block: a Chinese path then costs a
// lookup per character instead of a call of the converter.
class GbkTable {
  public:
    // 0 when GBK lacks the character; below 0x100 its one byte; else lead byte << 8 | trail.
    std::uint16_t Lookup(std::uint32_t bmp) {
        std::unique_ptr<Block>& block = blocks_[bmp >> 8];
        if (!block) block = Learn(bmp >> 8);
        return (*block)[bmp & 0xFF];
    }

  private:
    using Block = std::array<std::uint16_t, 256>;

    static std::unique_ptr<Block> Learn(std::uint32_t high) {
        auto block = std::make_unique<Block>();
        Converter conv("GBK", "UTF-8");
        std::string gbk;
        for (std::uint32_t low = 0; low < 256; ++low) {
            const std::uint32_t c = high << 8 | low;
            (*block)[low] = 0;
            if (c < 0x80 || (c >= 0xD800 && c <= 0xDFFF) || !conv.ok()) continue;
            char utf8[3];
            const size_t n = EncodeUtf8(c, utf8);
            gbk.clear();
            if (conv.Convert(std::string_view(utf8, n), gbk) != n || gbk.empty()) {
                conv.Reset();
                continue;
            }
            const auto first = static_cast<unsigned char>(gbk[0]);
            if (gbk.size() == 1 && first != 0) (*block)[low] = first;
            if (gbk.size() == 2) {
                (*block)[low] =
                    static_cast<std::uint16_t>(first << 8 | static_cast<unsigned char>(gbk[1]));
            }
        }
        return block;
    }

    static size_t EncodeUtf8(std::uint32_t c, char* out) {
        if (c < 0x800) {
            out[0] = static_cast<char>(0xC0 | c >> 6);
            out[1] = static_cast<char>(0x80 | (c & 0x3F));
            return 2;
        }
        out[0] = static_cast<char>(0xE0 | c >> 12);
        out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }

    std::array<std::unique_ptr<Block>, 256> blocks_;
};

// The character of a well-formed two- or three-byte sequence of n bytes, or 0 for one that
// encodes none (overlong, a surrogate), which then goes to the converter for its verdict.
std::uint32_t BmpCharacter(std::string_view s, size_t n) {
    const auto b = [&s](size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i]));
    };
    if (n == 2) {
        const std::uint32_t c = (b(0) & 0x1F) << 6 | (b(1) & 0x3F);
        return c >= 0x80 ? c : 0;
    }
    const std::uint32_t c = (b(0) & 0x0F) << 12 | (b(1) & 0x3F) << 6 | (b(2) & 0x3F);
    return c >= 0x800 && (c < 0xD800 || c > 0xDFFF) ? c : 0;
}

}  // namespace

void AppendGbk(std::string_view utf8, std::string& out) {
    thread_local GbkTable table;
    // GBK never takes more bytes than UTF-8 ("?" stands for one byte or more), so the room is
    // made once and filled in place.
    const size_t start = out.size();
    out.resize(start + utf8.size());
    char* dst = &out[start];
    for (;;) {
        // Paths and log lines are mostly ASCII, which GBK shares and which is copied as it is.
        const size_t ascii = AsciiPrefix(utf8);
        // An empty view may have no data at all, which memcpy must not be given.
        if (ascii != 0) std::memcpy(dst, utf8.data(), ascii);
        dst += ascii;
        utf8.remove_prefix(ascii);
        if (utf8.empty()) break;
        const size_t n = Utf8SequenceLength(utf8);
        const std::uint32_t c = n == 2 || n == 3 ? BmpCharacter(utf8, n) : 0;
        const std::uint16_t gbk = c != 0 ? table.Lookup(c) : 0;
        if (gbk >= 0x100) {
            *dst++ = static_cast<char>(gbk >> 8);
            *dst++ = static_cast<char>(gbk & 0xFF);
        } else if (gbk != 0) {
            *dst++ = static_cast<char>(gbk);
        } else {
            // What GBK lacks, what is no UTF-8 and what lies outside the BMP: the converter
            // decides, as it always has.
            std::string converted;
            AppendConverted(utf8.substr(0, n), converted);
            const size_t at = static_cast<size_t>(dst - out.data());
            if (at + converted.size() > out.size()) out.resize(at + converted.size() + utf8.size());
            dst = std::copy(converted.begin(), converted.end(), &out[at]);
        }
        utf8.remove_prefix(n);
    }
    out.resize(static_cast<size_t>(dst - out.data()));
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    std::string from = charset.empty() ? std::string("GBK") : std::string(charset);
    Converter conv("UTF-8", from.c_str());
    Converter fallback("UTF-8", "GBK");
    Converter& use = conv.ok() ? conv : fallback;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    if (!use.ok()) return std::string(bytes);
    while (!bytes.empty()) {
        bytes.remove_prefix(use.Convert(bytes, out));
        if (bytes.empty()) break;
        out.append("\xEF\xBF\xBD");
        bytes.remove_prefix(1);
        use.Reset();
    }
    return out;
}

}  // namespace qzx
