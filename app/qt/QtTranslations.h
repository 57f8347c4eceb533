// Qt's own texts (the standard buttons, the file dialogs) in the desktop's language.
#pragma once

class QCoreApplication;
class QLocale;

namespace qzx {

/// Loads Qt's translations for locale and installs them in app, which keeps them. True when a
/// translation was found; false leaves Qt's English. GUI thread, before the first window.
bool InstallQtTranslations(QCoreApplication& app, const QLocale& locale);

}  // namespace qzx
