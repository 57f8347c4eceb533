// The main window drawn with Qt Widgets: the controls of the template, wired to the presenter.
#pragma once

#include <QDialog>
#include <QHash>
#include <QTimer>
#include <memory>

#include "app/DialogTemplate.h"
#include "app/MainWindow.h"
#include "app/MainWindowView.h"

class QLabel;
class QTableView;

namespace qzx {

class EventListModel;

class MonitorDialog final : public QDialog, private MainWindowView {
    Q_OBJECT
  public:
    /// deps are owned by the caller and outlive the window.
    explicit MonitorDialog(MainWindowDeps deps, QWidget* parent = nullptr);
    ~MonitorDialog() override;

    /// The control with the given template ID, or nullptr.
    QWidget* Control(int id) const { return controls.value(id, nullptr); }
    QTableView* ListView() const { return eventList; }
    EventListModel* Model() const { return model; }
    MainWindow& Presenter() { return *presenter; }

    /// Runs one tick of the five-second timer at once (tests drive time through this).
    void TickTicker();
    /// Runs the one tick of the two-second timer at once.
    void TickUpdateCheck();
    /// Takes in new rows and watcher reports at once, as the 50 ms timer does.
    void PollNow();
    /// True while the 50 ms timer runs (it stops while nothing happens).
    bool Polling() const { return pollTimer.isActive(); }
    /// True while an export is being written.
    bool ExportRunning() const;
    /// Opens the About box (modal).
    void ShowAboutBox();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    /// The template's controls, the list's look and the wiring of clicks to the presenter.
    void CreateControls();
    /// One template control as a widget (the list and the logo are also kept by name).
    QWidget* CreateControl(const TemplateControl& control);
    void SetUpEventList();
    void ConnectControls();
    void ReportSize();
    QTimer& TimerOf(WindowTimer timer);

    // MainWindowView
    void SetTitle(const std::string& title) override;
    void SetEnabled(int id, bool enabled) override;
    void SetText(int id, const std::string& text) override;
    std::string Text(int id) const override;
    bool IsChecked(int id) const override;
    void SetChecked(int id, bool checked) override;
    void SetToolTip(int id, const std::string& text) override;
    void SetTextColor(int id, Rgb color) override;
    void SetFont(int id, const FontSpec& font) override;
    void SetCursor(int id, CursorShape shape) override;
    void SetFocus(int id) override;
    void SetListColumns(const std::vector<std::string>& titles,
                        const std::vector<int>& widths) override;
    void SetListColumnWidth(int column, int width) override;
    void ShowProcessColumn(bool shown, const std::string& title, int width) override;
    void SyncList(const ListSync& sync) override;
    bool ControlRect(int id, Rect& rect) const override;
    void MoveControl(int id, const Rect& rect) override;
    void StartTimer(WindowTimer timer, int periodMs) override;
    void StopTimer(WindowTimer timer) override;
    void Wake() override;
    void ShowAboutBox(const std::string& logFolder) override;
    void Close() override;
    int ShowMenu(const std::vector<RowMenuItem>& items, ScreenPoint at) override;
    void CopyToClipboard(const std::string& text) override;
    std::optional<std::string> EditText(const std::string& title, const std::string& text,
                                        bool& check) override;
    /// The list's menu key: the selected row, the menu at its first cell.
    void OnListMenuKey();
    /// A mouse event on the ticker or the banner (id), which open their links on a click.
    void OnLinkMouse(int id, const QWidget& control, const QEvent& event);

    QHash<int, QWidget*> controls;
    QTableView* eventList = nullptr;
    EventListModel* model = nullptr;
    QLabel* logo = nullptr;
    /// The link the left button went down on and has not come up from yet, or kIdStatic.
    int pressedLink = kIdStatic;
    QTimer tickerTimer;
    QTimer updateTimer;
    QTimer pollTimer;
    std::unique_ptr<MainWindow> presenter;
};

}  // namespace qzx
