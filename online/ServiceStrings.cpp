// Unscrambles the texts that the build wrote into ServiceStringsData.h.
#include "online/ServiceStrings.h"

#include <cstddef>
#include <string_view>

#include "ServiceStringsData.h"
#include "online/TextTools.h"

namespace qzx {
namespace {

std::string StoredText(std::size_t index) {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < index; ++i) offset += stored::kLengths[i];
    const auto* bytes = reinterpret_cast<const char*>(stored::kBytes) + offset;
    return TextTools::DecodeServiceString(std::string_view(bytes, stored::kLengths[index]),
                                          stored::kMultiplier, stored::kAddend, stored::kStart);
}

}  // namespace

ServiceStrings ServiceStrings::Decode() {
    ServiceStrings s;
    s.linkUrlDefault = StoredText(0);
    s.linkTitleDefault = StoredText(1);
    s.feedUrl = StoredText(2);
    s.siteUrl = StoredText(3);
    s.updateInfoUrl = StoredText(4);
    // The maker's address is shown openly, but it is often the site's address, so it is stored
    // scrambled as well rather than give that one away.
    s.makerAddress = StoredText(5);
    return s;
}

}  // namespace qzx
