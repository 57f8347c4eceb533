// Wires the objects of one run of QzxFile together and runs the main window.
#include <QApplication>
#include <QLocale>

#include "app/MonitorController.h"
#include "app/ProgramParts.h"
#include "app/qt/ElevatedWatching.h"
#include "app/qt/MonitorDialog.h"
#include "app/qt/QtDesktopOpener.h"
#include "app/qt/QtPrompts.h"
#include "app/qt/QtStopSignals.h"
#include "app/qt/QtTranslations.h"
#include "watch/ChangeSource.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("QzxFile");
    qzx::InstallQtTranslations(app, QLocale::system());
    qzx::QtStopSignals stopSignals;

    qzx::ProgramParts parts;
    qzx::QtPrompts prompts;
    qzx::QtDesktopOpener opener;
    qzx::MonitorController controller(parts.recorder, &qzx::CreateWindowSource, prompts);
    qzx::MonitorDialog window(parts.WindowDeps(controller, prompts, opener));
    prompts.SetOwner(&window);
    // A message box open at the time closes too, as its Cancel would.
    QObject::connect(&stopSignals, &qzx::QtStopSignals::Requested, &app,
                     &QApplication::closeAllWindows);
    window.show();
    return app.exec();
}
