// Plain text helpers of the online notices: tagged values, splitting and the stored service
// strings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qzx {

/// Stateless text operations. Every function is reentrant and may be called from any thread;
/// positions and lengths count bytes.
struct TextTools {
    /// The bytes between the first open tag and the first close tag (both searched from the
    /// start, case-sensitive); empty when either is missing, either tag is empty, or the first
    /// close tag does not come after the first open tag.
    static std::string TextBetween(std::string_view text, std::string_view open,
                                   std::string_view close);

    /// Appends the pieces of text between occurrences of delimiter that are at least minLength
    /// bytes long (2 when minLength is 0) to list, emptying it first when clearFirst is nonzero;
    /// with an empty delimiter the whole text is one piece. Returns the number appended.
    static int SplitText(std::vector<std::string>& list, std::string_view text,
                         std::string_view delimiter, int clearFirst, int minLength);

    /// Unscrambles a stored service text: floor(n/2) bytes, any byte value possible. Only the
    /// low 16 bits of the three key numbers count.
    static std::string DecodeServiceString(std::string_view stored, int multiplier, int addend,
                                           int start);

    /// The inverse of DecodeServiceString: a stored text of 2*n bytes, none of them zero, that
    /// decodes to plain with the same key. Deterministic.
    static std::string EncodeServiceString(std::string_view plain, int multiplier, int addend,
                                           int start);
};

}  // namespace qzx
