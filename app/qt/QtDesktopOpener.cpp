#include "app/qt/QtDesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace qzx {

bool QtDesktopOpener::OpenUrl(const std::string& url) {
    // Browsers take a blank, "{" or "|" in an address; so does the tolerant parser, which
    // writes them as %XX. What it still cannot read is refused, and the caller falls back.
    const QUrl parsed(QString::fromStdString(url), QUrl::TolerantMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || (scheme != "http" && scheme != "https")) return false;
    return QDesktopServices::openUrl(parsed);
}

void QtDesktopOpener::OpenFolder(const std::string& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

}  // namespace qzx
