// The program's service addresses and default ticker text, held only in scrambled form.
#pragma once

#include <string>

namespace qzx {

/// The five service strings, in their decoding order, and the maker's address. UTF-8.
struct ServiceStrings {
    std::string linkUrlDefault;    ///< Opened by a ticker click when no item gives an address.
    std::string linkTitleDefault;  ///< Ticker text while no feed item is shown.
    std::string feedUrl;           ///< The news feed.
    std::string siteUrl;           ///< The maker's web page.
    std::string updateInfoUrl;     ///< The update information document.
    std::string makerAddress;      ///< Shown in the window title and first in the ticker line.

    /// Decodes the stored texts built into the program with its built-in key. Any thread.
    static ServiceStrings Decode();
};

}  // namespace qzx
