#include "app/qt/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace qzx {

bool InstallQtTranslations(QCoreApplication& app, const QLocale& locale) {
    // The program's own texts are Chinese already; only the buttons and dialogs that Qt draws
    // need a translation. "qtbase" holds them; the distribution ships it apart from Qt itself.
    auto* translator = new QTranslator(&app);
    if (!translator->load(locale, "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace qzx
