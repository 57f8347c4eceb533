#include "app/qt/QtDesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace qzx {

bool QtDesktopOpener::OpenUrl(const std::string& url) {
    // StrictMode: an address that does not parse is refused rather than guessed at.
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    if (!parsed.isValid()) return false;
    return QDesktopServices::openUrl(parsed);
}

void QtDesktopOpener::OpenFolder(const std::string& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

}  // namespace qzx
