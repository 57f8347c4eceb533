// Wires the objects of one run of QzxFile together and runs the main window.
#include <QApplication>
#include <QLocale>

#include "app/DailyLogWriter.h"
#include "app/MonitorController.h"
#include "app/qt/MonitorDialog.h"
#include "app/qt/QtDesktopOpener.h"
#include "app/qt/QtPrompts.h"
#include "app/qt/QtTranslations.h"
#include "base/Clock.h"
#include "base/Gbk.h"
#include "online/HttpGet.h"
#include "online/HttpTools.h"
#include "online/OnlineNotices.h"
#include "records/DailyLog.h"
#include "records/FileSystem.h"
#include "watch/ChangeSource.h"
#include "watch/EventRecorder.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("QzxFile");
    qzx::InstallQtTranslations(app, QLocale::system());

    qzx::DailyLog log(qzx::SystemClock(), qzx::SystemFileSystem(), qzx::SystemLogLocations(),
                      qzx::AppendGbk);
    log.CreateLogDirectory();

    qzx::EventList list;
    qzx::EventRecorder recorder(list, qzx::SystemClock());
    qzx::WriteLogTo(recorder, log);
    qzx::QtPrompts prompts;
    qzx::QtDesktopOpener opener;
    const std::unique_ptr<qzx::HttpGet> http = qzx::MakeHttpGet();
    qzx::HttpTools httpTools(*http);
    qzx::OnlineNotices notices(qzx::ServiceStrings::Decode(), qzx::FetchThrough(httpTools));
    qzx::MonitorController controller(recorder, &qzx::CreateChangeSource, prompts);
    qzx::MonitorDialog window({list, recorder, controller, prompts, qzx::SystemClock(),
                               qzx::SystemFileSystem(), log.LogDirectory(), notices, opener});
    prompts.SetOwner(&window);
    window.show();
    return app.exec();
}
