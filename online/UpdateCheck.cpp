// The update check's decisions, apart from fetching and asking.
#include "online/UpdateCheck.h"

#include "online/TextTools.h"
#include "online/WebAddress.h"

namespace qzx {

bool UpdateCheck::IsNewerVersion(std::string_view version, std::string_view running) {
    if (version.empty()) return false;
    if (version.find('.') == std::string_view::npos) return false;
    // char_traits<char>::compare orders as unsigned bytes, a longer text after its own prefix.
    return version.compare(running) > 0;
}

std::string UpdateCheck::Question(std::string_view version, std::string_view notes) {
    std::string question = "发现新版本:";
    question += version;
    question += "\n\n 升级描述:\n ";
    question += notes;
    question += "\n\n是否查看新的版本？";
    return question;
}

std::optional<UpdateOffer> UpdateCheck::Evaluate(std::string_view document,
                                                 std::string_view siteUrl,
                                                 std::string_view running) {
    const std::string version = TextTools::TextBetween(document, "<QZXVersion>", "</QZXVersion>");
    const std::string download =
        TextTools::TextBetween(document, "<QZXUpdateUrl>", "</QZXUpdateUrl>");
    const std::string notes =
        TextTools::TextBetween(document, "<QZXUpdateAbout>", "</QZXUpdateAbout>");
    if (!IsNewerVersion(version, running)) return std::nullopt;
    UpdateOffer offer;
    offer.question = Question(version, notes);
    // The document comes from the network: only a plain web address may reach the opener.
    offer.target = IsWebAddress(download) ? download : std::string(siteUrl);
    return offer;
}

}  // namespace qzx
