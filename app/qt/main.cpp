// Wires the objects of one run of QzxFile together and runs the main window.
#include <QApplication>

#include "app/Clock.h"
#include "app/MonitorController.h"
#include "app/qt/MonitorDialog.h"
#include "app/qt/QtPrompts.h"
#include "watch/ChangeSource.h"
#include "watch/EventRecorder.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("QzxFile");

    qzx::EventList list;
    qzx::EventRecorder recorder(list, qzx::SystemClock());
    qzx::QtPrompts prompts;
    qzx::MonitorController controller(recorder, &qzx::CreateChangeSource, prompts);
    qzx::MonitorDialog window({list, recorder, controller, prompts, ""});
    prompts.SetOwner(&window);
    window.show();
    return app.exec();
}
