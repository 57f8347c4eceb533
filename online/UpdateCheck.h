// Reading the update information document and wording the offer of a newer version.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qzx {

/// The running version the announced one is compared with.
inline constexpr std::string_view kRunningVersion = QZX_VERSION_TEXT;

/// A newer version to offer: the Yes/No question and the web address that Yes opens.
struct UpdateOffer {
    std::string question;  ///< UTF-8, with "\n" line breaks.
    std::string target;    ///< The download address when it is a web address, else siteUrl.
};

/// The rules of the one update check per run. Pure; any thread.
struct UpdateCheck {
    /// True when version is not empty, holds a "." and sorts byte by byte (unsigned, a longer
    /// text with an equal beginning after the shorter) after running: textual, so "1.10" is not
    /// newer than "1.2" and "1.20" is.
    static bool IsNewerVersion(std::string_view version,
                               std::string_view running = kRunningVersion);

    /// The question for version and notes: "发现新版本:", version, "\n\n 升级描述:\n ", notes,
    /// "\n\n是否查看新的版本？".
    static std::string Question(std::string_view version, std::string_view notes);

    /// The offer a fetched document makes (in whatever state the fetch left it), or nothing when
    /// it announces no newer version. The tags are matched exactly, letter case included.
    static std::optional<UpdateOffer> Evaluate(std::string_view document, std::string_view siteUrl,
                                               std::string_view running = kRunningVersion);
};

}  // namespace qzx
