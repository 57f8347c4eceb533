// The main window: the monitoring controls, the event list and the ticker line.
#pragma once

#include <QDialog>
#include <QHash>
#include <QTimer>
#include <thread>

#include "base/Clock.h"
#include "app/MonitorController.h"
#include "app/Prompts.h"
#include "watch/EventRecorder.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace qzx {

class DesktopOpener;
class EventListModel;
class FileSystem;
class OnlineNotices;

/// Everything the window works with; owned by the caller and outliving the window.
struct MonitorDialogDeps {
    EventList& list;
    EventRecorder& recorder;
    MonitorController& controller;
    Prompts& prompts;
    const Clock& clock;
    /// Where exports are written.
    FileSystem& files;
    /// Where the daily log goes (UTF-8), named in the About box.
    std::string logFolder;
    /// The ticker and the update check.
    OnlineNotices& notices;
    /// Opens web pages and folders.
    DesktopOpener& opener;
};

class MonitorDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit MonitorDialog(MonitorDialogDeps deps, QWidget* parent = nullptr);
    ~MonitorDialog() override;

    /// The control with the given template ID, or nullptr.
    QWidget* Control(int id) const { return controls.value(id, nullptr); }
    QTableView* ListView() const { return eventList; }
    EventListModel* Model() const { return model; }

    /// Runs one tick of the five-second timer at once (tests drive time through this).
    void TickTimer1();
    /// Runs the one tick of the two-second timer at once.
    void TickTimer2();
    /// Takes in new rows and watcher reports at once, as the 50 ms timer does.
    void PollNow();
    /// True while an export is being written.
    bool ExportRunning() const;
    /// Opens the About box (modal).
    void ShowAboutBox();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void CreateControls();
    void ArrangeToSize();
    void OnBrowse();
    void OnStartMonitor();
    void OnStopMonitor();
    void OnOptionChanged();
    void OnClearEvents();
    void OnExportRecords();
    void OnExportFinished(const std::string& path, int result);
    void OpenEventFolder(const QModelIndex& index);
    void OpenTickerLink();
    void OpenSiteLink();
    void ApplyStates();
    MonitorOptions OptionsOnScreen() const;
    void SetOptionsOnScreen(const MonitorOptions& options);

    MonitorDialogDeps deps;
    QHash<int, QWidget*> controls;
    QLineEdit* pathEdit = nullptr;
    QTableView* eventList = nullptr;
    EventListModel* model = nullptr;
    QLabel* status = nullptr;
    QLabel* logo = nullptr;
    QSize arrangedSize;
    std::thread exportThread;
    QTimer timer1;
    QTimer timer2;
    QTimer pollTimer;
};

}  // namespace qzx
